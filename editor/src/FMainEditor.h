#pragma once

#include "EditorArtwork.h"
#include "tavrel/localize/TMenuItem.h"
#include "tavrel/localize/TOvkLocalizeServer.h"
#include "tavrel/qt/QtPicture.h"

#include <filesystem>
#include <memory>
#include <optional>
#include <QAction>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QMargins>
#include <QMenu>
#include <QMenuBar>
#include <QToolBar>
#include <QToolButton>
#include <set>
#include <string>

namespace tavrel::editor {

class TBevelPanel;
class TCoolBar;
class TEditorListBox;
class TImageView;
class TEntryWriter;
class TOpenPictureDialog;
class TTranslationTable;

// The editor's main window. Everything it shows is read through its localization server
// when an action asks for it; the widgets are the only state its handlers share: the
// section is the text of ComboBox1, the key the selected row of ListBox1, the language
// the text of Label3.
class TFMain : public QMainWindow {
    Q_OBJECT
public:
    // The server's surroundings; the program passes the per-user folders with the Qt
    // picture factory, so that the language menu shows flags.
    static TLocalizeEnvironment DefaultEnvironment();

    explicit TFMain(TLocalizeEnvironment environment = DefaultEnvironment());
    ~TFMain() override;

    TEditorListBox* ListBox1;
    QComboBox* ComboBox1;
    QMenuBar* Menu;
    QMenu* Files1;
    QMenu* EditLanguages;
    QAction* New1;
    QMenu* Files2;
    QAction* Exit1;
    QLabel* Label1;
    TEditorListBox* ListBox2;
    QLineEdit* Edit1;
    QAction* DeleteAllLanguages1;
    QAction* RefreshLanguages1;
    TCoolBar* CoolBar1;
    QToolBar* ToolBar1;
    QToolButton* Post;
    QLabel* Label4;
    TOpenPictureDialog* OpenPicture;
    TImageList ImageList1;
    TImageList Enable;
    TImageList Disable;
    TImageList Hot;
    QToolButton* Delete;
    QLabel* Label5;
    QLabel* Label6;
    QAction* ToolButton1;
    QLabel* Label3;
    QAction* DeleteLanguage1;
    QToolButton* New;
    QToolButton* Refresh;
    QLineEdit* Edit2;
    QLabel* Label2;
    QToolButton* SpeedButton1;
    QMenu* Sections1;
    QAction* NewSection1;
    QAction* NewSubSection1;
    QAction* DeleteItem1;
    QAction* DeleteSection1;
    // Beside the original commands: adds the plural variants of the selected key.
    QAction* AddPluralForms1;
    TBevelPanel* Panel1;
    TImageView* Image1;
    TOvkLocalizeServer* LocServer;
    // Beside the original menus: keyboard saving and the translation table.
    QMenu* Translation1;
    QAction* SaveValue1;
    QAction* SaveAndNextUntranslated1;
    QAction* TranslationTable1;

    // The picture Image1 shows, and the core menu item "&Edit Language" is rendered from.
    const QtPicture& Image1Picture() const { return image1Picture_; }
    TMenuItem& EditLanguagesItem() { return *editLanguagesItem_; }

    // Handlers. They let failures through: the caller (an event, or another handler) ends
    // at the failing step and the failure is shown in an error box.
    void FormShow();
    void RefreshClick();
    void ResetEditor();
    void ClearEditor();
    void LoadLanguageView();
    void LocServerLanguageChange();
    void ComboBox1Change();
    void ListBox1Click();
    void ListBox2Click();
    void Edit1KeyPress();
    void Image1DblClick();
    void PostClick();
    void Exit1Click();
    void New1Click();
    void DeleteClick();
    void DeleteAllLanguages1Click();
    void SpeedButton1Click();
    void NewSection1Click();
    void NewSubSection1Click();
    void DeleteSection1Click();
    void DeleteItem1Click();
    void AddPluralForms1Click();
    // Saves like Post, then selects the next entry that is still untranslated.
    void SaveAndNextUntranslated1Click();
    void TranslationTable1Click();

    // Every change of an entry, for undo and redo; shared with the translation table.
    TEntryWriter& Writer() { return *writer_; }
    // The translation table once opened; nullptr before.
    TTranslationTable* Table() const { return table_; }
    // Whether the value shown in Edit1 was edited and not saved.
    bool HasUnsavedEdit() const;

protected:
    void showEvent(QShowEvent* event) override;
    bool event(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void CreateWidgets();
    void CreateToolBar();
    void CreateMenus();
    void ConnectHandlers();
    void CreateServer(TLocalizeEnvironment environment);
    void ApplyOuterSize();

    // The section being edited (core text of ComboBox1).
    std::string Section() const;
    // The text of the selected row of ListBox1; "List index out of bounds (-1)" when none.
    std::string SelectedKey() const;
    QString SelectedRowText(const TEditorListBox& box) const;
    void SelectSectionIgnoringCase(const QString& section);
    // Refills the language menu from the server's catalogue.
    void FillLanguageMenu();
    // Reloads the view of the language and returns to `section` while it is there.
    void ShowSectionAgain(const QString& section);
    void FocusEdit1();
    void ShowImage1();
    // Asks in a confirmation box; true only for Yes.
    bool Confirm(const QString& question);
    // Tells, once per dictionary, that a save turned it from Windows-1252 into UTF-8.
    void NoticeConversion(const std::filesystem::path& dictionary);
    // Names the plural category of each variant key in its tool tip.
    void ExplainPluralVariants();

    // Leaving an edited value: asks whether to save it; false when the user cancels. A
    // failed save throws, the edit stays.
    bool MayLeaveValue();
    void SaveShownValue();
    // Puts the lists back on the entry the shown value belongs to.
    void SelectShownValue();
    // Runs `showNext` once the shown value may be left; else the lists go back to it.
    void LeaveValueThen(void (TFMain::*showNext)());
    // Selections by the user, each asking first when the shown value was edited.
    void ListBox1Select();
    void ListBox2Select();
    void ComboBox1Select();
    // Language menu items ask first too.
    void GuardLanguageMenu();
    // Shows an entry again after it changed elsewhere (the table, an undo).
    void EntryChanged(const QString& section, const QString& key);
    void TellTable();
    // The entry that is untranslated after the selected one, in the order of the lists.
    std::optional<std::pair<int, std::string>> NextUntranslated();

    std::unique_ptr<TOvkLocalizeServer> server_;
    std::unique_ptr<TMenuItem> editLanguagesItem_;
    QtPicture image1Picture_;
    QMargins appliedFrame_;
    std::set<std::filesystem::path> noticedConversions_;
    // The entry (and line of a Text value) Edit1 was filled from, with what it showed.
    struct TShownValue {
        std::string section, key;
        int line = -1;
        QString text;
    };
    std::optional<TShownValue> shownValue_;
    TEntryWriter* writer_ = nullptr;
    TTranslationTable* table_ = nullptr;
};

} // namespace tavrel::editor
