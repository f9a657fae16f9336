#include "FMainEditor.h"

#include "EditorWidgets.h"
#include "EntryWriter.h"
#include "ErrorBox.h"
#include "FFolders.h"
#include "FNewKey.h"
#include "FNewLangNameDialog.h"
#include "FTranslationTable.h"
#include "OpenPictureDialog.h"
#include "tavrel/localize/Exception.h"
#include "tavrel/localize/LanguageLocale.h"
#include "tavrel/qt/QtMenuRenderer.h"
#include "tavrel/qt/QtText.h"
#include "tavrel/storage/DictionaryFiles.h"

#include <algorithm>
#include <QApplication>
#include <QCloseEvent>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QMessageBox>
#include <QShowEvent>
#include <QTimer>
#include <QWindow>
#include <vector>

namespace tavrel::editor {

namespace {

constexpr int kLeft = 192;
constexpr int kTop = 106;
constexpr int kOuterWidth = 495;
constexpr int kOuterHeight = 328;
constexpr int kToolBarFontPoints = 10;
// Values of this section (compared case-sensitively) are lists of lines in comma-text.
constexpr std::string_view kCommaTextSection = "Text";

template <class Object> Object* Named(Object* object, const char* name) {
    object->setObjectName(QLatin1String(name));
    return object;
}

QToolButton* ToolBarButton(QWidget* parent, const char* name, const QString& hint,
                           const QIcon& icon) {
    auto* button = Named(new QToolButton(parent), name);
    button->setToolTip(hint);
    button->setIcon(icon);
    button->setIconSize(QSize(16, 16));
    button->setAutoRaise(true);
    button->setToolButtonStyle(Qt::ToolButtonIconOnly);
    button->setFocusPolicy(Qt::NoFocus);
    button->setFixedSize(23, 22);
    return button;
}

QLabel* ToolBarLabel(QWidget* parent, const char* name, const QString& text) {
    auto* label = Named(new QLabel(text, parent), name);
    QFont font = label->font();
    font.setPointSize(kToolBarFontPoints);
    label->setFont(font);
    label->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    return label;
}

QLabel* AutoSizedLabel(QWidget* parent, const char* name, const QString& text, int left, int top) {
    auto* label = Named(new QLabel(text, parent), name);
    label->move(left, top);
    label->adjustSize();
    return label;
}

} // namespace

TLocalizeEnvironment TFMain::DefaultEnvironment() {
    TLocalizeEnvironment environment = TLocalizeEnvironment::FromUserFolders();
    environment.PictureFactory = QtPictureFactory();
    return environment;
}

TFMain::TFMain(TLocalizeEnvironment environment)
    : ListBox1(nullptr), ComboBox1(nullptr), Menu(nullptr), Files1(nullptr), EditLanguages(nullptr),
      New1(nullptr), Files2(nullptr), Exit1(nullptr), Label1(nullptr), ListBox2(nullptr),
      Edit1(nullptr), DeleteAllLanguages1(nullptr), RefreshLanguages1(nullptr), CoolBar1(nullptr),
      ToolBar1(nullptr), Post(nullptr), Label4(nullptr), OpenPicture(nullptr), Delete(nullptr),
      Label5(nullptr), Label6(nullptr), ToolButton1(nullptr), Label3(nullptr),
      DeleteLanguage1(nullptr), New(nullptr), Refresh(nullptr), Edit2(nullptr), Label2(nullptr),
      SpeedButton1(nullptr), Sections1(nullptr), NewSection1(nullptr), NewSubSection1(nullptr),
      DeleteItem1(nullptr), DeleteSection1(nullptr), AddPluralForms1(nullptr), Panel1(nullptr),
      Image1(nullptr), LocServer(nullptr), Translation1(nullptr), SaveValue1(nullptr),
      SaveAndNextUntranslated1(nullptr), TranslationTable1(nullptr),
      image1Picture_(DefaultFlagsImage()) {
    setObjectName(QStringLiteral("FMain"));
    setWindowTitle(QStringLiteral("Tavrel Language Editor"));
    setFont(EditorFont());
    CreateWidgets();
    CreateToolBar();
    CreateMenus();
    CreateServer(std::move(environment));
    ConnectHandlers();
    // The outer size is 495 x 328; once the frame is known the client shrinks to fit.
    move(kLeft, kTop);
    resize(kOuterWidth, kOuterHeight);
}

TFMain::~TFMain() {
    // The server's event must not reach a window that is going away.
    if (LocServer != nullptr)
        LocServer->OnLanguageChange = nullptr;
}

void TFMain::CreateWidgets() {
    auto* client = Named(new QWidget(this), "ClientArea");
    setCentralWidget(client);

    Label1 = AutoSizedLabel(client, "Label1", QStringLiteral("Sections:"), 8, 44);

    ComboBox1 = Named(new QComboBox(client), "ComboBox1");
    ComboBox1->setGeometry(8, 60, 177, 21);
    ComboBox1->setEditable(false);
    ComboBox1->setToolTip(QStringLiteral("Sections"));

    ListBox1 = Named(new TEditorListBox(client), "ListBox1");
    ListBox1->setGeometry(8, 88, 177, 185);
    ListBox1->setToolTip(QStringLiteral("Item List"));

    Label2 = AutoSizedLabel(client, "Label2", QStringLiteral("Path to Languages"), 200, 44);

    Edit2 = Named(new QLineEdit(client), "Edit2");
    Edit2->setGeometry(200, 60, 253, 21);
    Edit2->setReadOnly(true);
    Edit2->setEnabled(false);

    SpeedButton1 = Named(new QToolButton(client), "SpeedButton1");
    SpeedButton1->setGeometry(456, 60, 23, 22);
    SpeedButton1->setAutoRaise(true);
    SpeedButton1->setIcon(OpenFolderIcon());
    SpeedButton1->setIconSize(QSize(16, 16));
    SpeedButton1->setFocusPolicy(Qt::NoFocus);
    SpeedButton1->setToolTip(QStringLiteral("Select Path"));

    ListBox2 = Named(new TEditorListBox(client), "ListBox2");
    ListBox2->setGeometry(200, 88, 177, 153);
    ListBox2->setToolTip(QStringLiteral("Text List"));
    ListBox2->hide();

    Panel1 = Named(new TBevelPanel(client), "Panel1");
    Panel1->setGeometry(400, 88, 37, 33);
    Image1 = Named(new TImageView(Panel1), "Image1");
    Image1->setGeometry(4, 4, 29, 25);
    Image1->setToolTip(QStringLiteral("Double Click here for change language image"));
    ShowImage1();

    Label4 = Named(new QLabel(QStringLiteral("DoubleClick in Image for Change"), client), "Label4");
    PlaceWrappedLabel(*Label4, QRect(384, 128, 84, 26));

    Edit1 = Named(new QLineEdit(client), "Edit1");
    Edit1->setGeometry(200, 252, 277, 21);
    Edit1->setToolTip(QStringLiteral("Edit Value Field"));

    OpenPicture = new TOpenPictureDialog(this);

    setTabOrder(ListBox1, ComboBox1);
    setTabOrder(ComboBox1, ListBox2);
    setTabOrder(ListBox2, Edit1);
    setTabOrder(Edit1, Edit2);
    ListBox1->setFocus();
}

void TFMain::CreateToolBar() {
    Enable = EnabledToolImages();
    Disable = DisabledToolImages();
    Hot = HotToolImages();
    ImageList1 = {QPixmap::fromImage(DefaultFlagsImage())};

    CoolBar1 = Named(new TCoolBar(centralWidget()), "CoolBar1");
    CoolBar1->setGeometry(0, 0, 487, 33);
    ToolBar1 = Named(new QToolBar(CoolBar1), "ToolBar1");
    // The band's control sits right of the gripper, centred in the band.
    ToolBar1->setGeometry(9, 4, 470, 25);
    ToolBar1->setMovable(false);
    ToolBar1->setFloatable(false);
    ToolBar1->setIconSize(QSize(16, 16));
    ToolBar1->setToolButtonStyle(Qt::ToolButtonIconOnly);
    ToolBar1->setContentsMargins(0, 0, 0, 0);

    Label5 = ToolBarLabel(ToolBar1, "Label5", QStringLiteral("Language: "));
    // 67 wide, or wider where the system's font needs more room for the text.
    Label5->setFixedWidth(std::max(67, Label5->sizeHint().width()));
    Label3 = ToolBarLabel(ToolBar1, "Label3", QString());
    Label6 = Named(new QLabel(ToolBar1), "Label6");
    New = ToolBarButton(ToolBar1, "New", QStringLiteral("New Language"),
                        ToolIcon(Enable, Disable, Hot, PlusImage));
    Post = ToolBarButton(ToolBar1, "Post", QStringLiteral("Save Changes"),
                         ToolIcon(Enable, Disable, Hot, CheckImage));
    Delete = ToolBarButton(ToolBar1, "Delete", QStringLiteral("Delete Language"),
                           ToolIcon(Enable, Disable, Hot, MinusImage));
    Refresh = ToolBarButton(ToolBar1, "Refresh", QStringLiteral("Refresh Languages"),
                            ToolIcon(Enable, Disable, Hot, RefreshImage));
    Post->setEnabled(false);
    Delete->setEnabled(false);

    ToolBar1->addWidget(Label5);
    ToolBar1->addWidget(Label3);
    ToolButton1 = Named(ToolBar1->addSeparator(), "ToolButton1");
    if (QWidget* separator = ToolBar1->widgetForAction(ToolButton1)) {
        separator->setObjectName(QStringLiteral("ToolButton1"));
        separator->setFixedWidth(18);
    }
    ToolBar1->addWidget(New);
    ToolBar1->addWidget(Post);
    ToolBar1->addWidget(Delete);
    ToolBar1->addWidget(Refresh);
    ToolBar1->addWidget(Label6);
}

void TFMain::CreateMenus() {
    Menu = Named(menuBar(), "Menu");

    Files2 = Named(Menu->addMenu(QStringLiteral("&Files")), "Files2");
    Exit1 = Named(Files2->addAction(QStringLiteral("&Exit")), "Exit1");

    Files1 = Named(Menu->addMenu(QStringLiteral("&Languages")), "Files1");
    EditLanguages = Named(Files1->addMenu(QStringLiteral("&Edit Language")), "EditLanguages");
    EditLanguages->menuAction()->setObjectName(QStringLiteral("EditLanguages"));
    New1 = Named(Files1->addAction(QStringLiteral("&New Language")), "New1");
    DeleteLanguage1 =
        Named(Files1->addAction(QStringLiteral("&Delete Language")), "DeleteLanguage1");
    DeleteAllLanguages1 =
        Named(Files1->addAction(QStringLiteral("Delete &All Languages")), "DeleteAllLanguages1");
    RefreshLanguages1 =
        Named(Files1->addAction(QStringLiteral("&Refresh Languages")), "RefreshLanguages1");

    Sections1 = Named(Menu->addMenu(QStringLiteral("&Sections")), "Sections1");
    NewSection1 = Named(Sections1->addAction(QStringLiteral("New &Section")), "NewSection1");
    NewSubSection1 = Named(Sections1->addAction(QStringLiteral("New &Item")), "NewSubSection1");
    DeleteSection1 =
        Named(Sections1->addAction(QStringLiteral("D&elete Section")), "DeleteSection1");
    DeleteItem1 = Named(Sections1->addAction(QStringLiteral("&Delete Item")), "DeleteItem1");
    Sections1->addSeparator();
    AddPluralForms1 =
        Named(Sections1->addAction(QStringLiteral("Add &Plural Forms")), "AddPluralForms1");
    for (QAction* item :
         {NewSection1, NewSubSection1, DeleteSection1, DeleteItem1, AddPluralForms1})
        item->setEnabled(false);

    // Keyboard saving and the table, in a menu of their own so that the original menus
    // stay as they are.
    Translation1 = Named(Menu->addMenu(QStringLiteral("&Translation")), "Translation1");
    SaveValue1 = Named(Translation1->addAction(QStringLiteral("&Save Value")), "SaveValue1");
    SaveValue1->setShortcut(QKeySequence::Save);
    SaveAndNextUntranslated1 =
        Named(Translation1->addAction(QStringLiteral("Save and Next &Untranslated")),
              "SaveAndNextUntranslated1");
    SaveAndNextUntranslated1->setShortcuts(
        {QKeySequence(Qt::CTRL | Qt::Key_Return), QKeySequence(Qt::CTRL | Qt::Key_Enter)});
    Translation1->addSeparator();
    TranslationTable1 = Named(Translation1->addAction(QStringLiteral("Translation &Table...")),
                              "TranslationTable1");
    TranslationTable1->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_T));

    // The language sub-menu is the core menu item that the server fills, shown live.
    editLanguagesItem_ = std::make_unique<TMenuItem>();
    editLanguagesItem_->SetName("EditLanguages");
    editLanguagesItem_->SetCaption("&Edit Language");
    QtMenuBinding* binding = BindMenu(*editLanguagesItem_, *EditLanguages);
    binding->SetErrorHandler([](const std::exception& error) { ShowException(error); });
}

void TFMain::CreateServer(TLocalizeEnvironment environment) {
    environment.DictionaryConverted = [this](const std::filesystem::path& dictionary) {
        NoticeConversion(dictionary);
    };
    server_ = std::make_unique<TOvkLocalizeServer>(nullptr, std::move(environment));
    LocServer = server_.get();
    LocServer->SetName("LocServer");
    // The window's stored settings arrive while the server is loading: the language
    // stored with the window is therefore ignored, and Loaded() takes the remembered one.
    LocServer->SetLoading();
    LocServer->SetActive(true);
    LocServer->OnLanguageChange = [this](TPersistent*) { LocServerLanguageChange(); };
    LocServer->SetLanguage("English");
    LocServer->Loaded();
    writer_ = new TEntryWriter(*LocServer, this);
    // An undo in the table that makes another language current leaves the value shown.
    writer_->MayLeaveLanguage = [this] {
        bool leave = false;
        RunGuarded([&] { leave = MayLeaveValue(); });
        return leave;
    };
    connect(writer_, &TEntryWriter::entryChanged, this, &TFMain::EntryChanged);
}

void TFMain::ConnectHandlers() {
    const auto guarded = [this](void (TFMain::*handler)()) {
        return [this, handler] { RunGuarded([this, handler] { (this->*handler)(); }); };
    };
    connect(New, &QToolButton::clicked, this, guarded(&TFMain::New1Click));
    connect(New1, &QAction::triggered, this, guarded(&TFMain::New1Click));
    connect(Post, &QToolButton::clicked, this, guarded(&TFMain::PostClick));
    connect(Delete, &QToolButton::clicked, this, guarded(&TFMain::DeleteClick));
    connect(DeleteLanguage1, &QAction::triggered, this, guarded(&TFMain::DeleteClick));
    connect(Refresh, &QToolButton::clicked, this, guarded(&TFMain::RefreshClick));
    connect(RefreshLanguages1, &QAction::triggered, this, guarded(&TFMain::RefreshClick));
    connect(Exit1, &QAction::triggered, this, guarded(&TFMain::Exit1Click));
    connect(DeleteAllLanguages1, &QAction::triggered, this,
            guarded(&TFMain::DeleteAllLanguages1Click));
    connect(SpeedButton1, &QToolButton::clicked, this, guarded(&TFMain::SpeedButton1Click));
    connect(NewSection1, &QAction::triggered, this, guarded(&TFMain::NewSection1Click));
    connect(NewSubSection1, &QAction::triggered, this, guarded(&TFMain::NewSubSection1Click));
    connect(DeleteSection1, &QAction::triggered, this, guarded(&TFMain::DeleteSection1Click));
    connect(DeleteItem1, &QAction::triggered, this, guarded(&TFMain::DeleteItem1Click));
    connect(AddPluralForms1, &QAction::triggered, this, guarded(&TFMain::AddPluralForms1Click));
    // Only what the user does raises these; selections made from code stay silent.
    connect(ComboBox1, &QComboBox::activated, this, guarded(&TFMain::ComboBox1Select));
    connect(ListBox1, &TEditorListBox::userSelect, this, guarded(&TFMain::ListBox1Select));
    connect(ListBox2, &TEditorListBox::userSelect, this, guarded(&TFMain::ListBox2Select));
    // Ctrl+S is a click on Post: nothing happens while Post is disabled.
    connect(SaveValue1, &QAction::triggered, this, [this] {
        if (Post->isEnabled())
            Post->click();
    });
    connect(SaveAndNextUntranslated1, &QAction::triggered, this,
            guarded(&TFMain::SaveAndNextUntranslated1Click));
    connect(TranslationTable1, &QAction::triggered, this, guarded(&TFMain::TranslationTable1Click));
    connect(Image1, &TImageView::doubleClicked, this, guarded(&TFMain::Image1DblClick));
    Edit1->installEventFilter(this);
}

void TFMain::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    if (event->spontaneous())
        return;
    QTimer::singleShot(0, this, &TFMain::ApplyOuterSize);
    RunGuarded([this] { FormShow(); });
}

bool TFMain::event(QEvent* event) {
    // The window manager reports the frame late; the outer size follows when it does.
    if (event->type() == QEvent::Move || event->type() == QEvent::Resize)
        ApplyOuterSize();
    return QMainWindow::event(event);
}

void TFMain::ApplyOuterSize() {
    const QWindow* window = windowHandle();
    if (window == nullptr || !isVisible())
        return;
    const QMargins frame = window->frameMargins();
    if (frame == appliedFrame_)
        return;
    appliedFrame_ = frame;
    resize(kOuterWidth - frame.left() - frame.right(), kOuterHeight - frame.top() - frame.bottom());
}

bool TFMain::eventFilter(QObject* watched, QEvent* event) {
    if (watched == Edit1) {
        bool producesCharacter = false;
        if (event->type() == QEvent::KeyPress) {
            const auto* key = static_cast<QKeyEvent*>(event);
            // Delete removes text without producing a character; Tab moves the focus.
            producesCharacter = !key->text().isEmpty() && key->key() != Qt::Key_Delete &&
                                key->key() != Qt::Key_Tab && key->key() != Qt::Key_Backtab;
        } else if (event->type() == QEvent::InputMethod) {
            producesCharacter = !static_cast<QInputMethodEvent*>(event)->commitString().isEmpty();
        }
        if (producesCharacter)
            RunGuarded([this] { Edit1KeyPress(); });
    }
    return QMainWindow::eventFilter(watched, event);
}

std::string TFMain::Section() const {
    return FromQString(ComboBox1->currentText());
}

QString TFMain::SelectedRowText(const TEditorListBox& box) const {
    const int row = box.currentRow();
    const QListWidgetItem* item = row >= 0 ? box.item(row) : nullptr;
    if (item == nullptr)
        throw EListError::IndexOutOfBounds(row < 0 ? -1 : row);
    return item->text();
}

std::string TFMain::SelectedKey() const {
    return FromQString(SelectedRowText(*ListBox1));
}

void TFMain::SelectSectionIgnoringCase(const QString& section) {
    ComboBox1->setCurrentIndex(FindRowIgnoringCase(*ComboBox1, section));
}

void TFMain::FocusEdit1() {
    Edit1->setFocus();
    Edit1->selectAll();
}

void TFMain::ShowImage1() {
    Image1->ShowPicture(image1Picture_.Image());
}

bool TFMain::Confirm(const QString& question) {
    QMessageBox box(QMessageBox::Question, QStringLiteral("Confirm"), question,
                    QMessageBox::Yes | QMessageBox::No, this);
    box.setObjectName(QStringLiteral("Confirm"));
    box.setDefaultButton(QMessageBox::Yes);
    box.setEscapeButton(QMessageBox::No);
    return box.exec() == QMessageBox::Yes;
}

void TFMain::FormShow() {
    Edit2->setText(PathText(LocServer->DicPath()));
    RefreshClick();
    LocServerLanguageChange();
}

void TFMain::RefreshClick() {
    LocServer->RefreshLanguages();
    ResetEditor();
}

void TFMain::ResetEditor() {
    FillLanguageMenu();
    Post->setEnabled(false);
    ComboBox1->clear();
    ListBox1->clear();
    ListBox2->clear();
    Edit1->clear();
    shownValue_.reset();
    TellTable();
}

void TFMain::FillLanguageMenu() {
    // One rebuild of the shown menu for the whole refill.
    {
        TMenuItem::UpdateScope batch(*editLanguagesItem_);
        LocServer->FillLanguageMenu(*editLanguagesItem_, true, true);
    }
    GuardLanguageMenu();
}

void TFMain::ShowSectionAgain(const QString& section) {
    LoadLanguageView();
    const int row = FindRowIgnoringCase(*ComboBox1, section);
    if (row < 0)
        return; // gone: the view stays on the first section
    ComboBox1->setCurrentIndex(row);
    ComboBox1Change();
}

void TFMain::ClearEditor() {
    ComboBox1->clear();
    ListBox1->clear();
    ListBox2->clear();
    Edit1->clear();
    Label3->clear();
    shownValue_.reset();
    TellTable();
}

void TFMain::LoadLanguageView() {
    ComboBox1->clear();
    std::vector<std::string> sections;
    const bool read = LocServer->ReadSectionNames(sections);
    for (const std::string& section : sections)
        AddSorted(*ComboBox1, ToQString(section));
    if (read) {
        ComboBox1->setCurrentIndex(ComboBox1->count() > 0 ? 0 : -1);
        ComboBox1Change();
    }
    LocServer->LoadLanguageImage(image1Picture_);
    ShowImage1();
    TellTable();
}

void TFMain::LocServerLanguageChange() {
    Label3->setText(ToQString(LocServer->Language()));
    if (Label3->text().isEmpty())
        return;
    Delete->setEnabled(true);
    LoadLanguageView();
}

void TFMain::ComboBox1Change() {
    shownValue_.reset();
    const std::string section = Section();
    std::vector<std::string> keys;
    const bool read = LocServer->ReadSectionKeys(section, keys);
    ListBox1->clear();
    for (const std::string& key : keys)
        ListBox1->addItem(ToQString(key));
    ExplainPluralVariants();
    if (!read)
        return;
    ListBox1->setCurrentRow(0);
    if (ListBox1->count() > 0)
        ListBox1Click();
    const bool haveSection = !section.empty();
    for (QAction* item :
         {NewSection1, NewSubSection1, DeleteSection1, DeleteItem1, AddPluralForms1})
        item->setEnabled(haveSection);
}

void TFMain::ListBox1Click() {
    ListBox2->hide();
    const std::string section = Section();
    const std::string value = LocServer->ReadValue(section, SelectedKey());
    shownValue_ = TShownValue{section, SelectedKey(), -1, QString()};
    if (section != kCommaTextSection) {
        Edit1->setText(ToQString(value));
        shownValue_->text = Edit1->text();
        FocusEdit1();
        return;
    }
    shownValue_->text = Edit1->text(); // a value without lines gains the typed one
    ListBox2->show();
    ListBox2->clear();
    for (const std::string& line : LinesFromCommaText(value)) {
        auto* item = new QListWidgetItem(ToQString(line), ListBox2);
        // A right-to-left line reads from the right edge, as it is written.
        if (item->text().isRightToLeft())
            item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
    }
    ListBox2->setCurrentRow(0);
    ListBox2Click();
}

void TFMain::ListBox2Click() {
    Edit1->setText(SelectedRowText(*ListBox2));
    if (shownValue_) {
        shownValue_->line = ListBox2->currentRow();
        shownValue_->text = Edit1->text();
    }
    FocusEdit1();
}

void TFMain::Edit1KeyPress() {
    Post->setEnabled(true);
}

void TFMain::Image1DblClick() {
    if (!OpenPicture->Execute())
        return;
    image1Picture_.LoadFromFile(NativePathText(OpenPicture->FileName()));
    ShowImage1();
    Post->setEnabled(true);
}

void TFMain::PostClick() {
    const int sectionRow = ComboBox1->currentIndex();
    const int keyRow = ListBox1->currentRow();
    const std::string section = Section();
    // Everything that can fail on the window's side is read before anything changes.
    const std::string key = SelectedKey();
    const std::string value = FromQString(Edit1->text());
    if (section != kCommaTextSection) {
        writer_->WriteValue(section, key, value);
    } else {
        // The edited line replaces the selected one; a value without lines gains it as
        // its only line.
        if (QListWidgetItem* line = ListBox2->currentItem())
            line->setText(Edit1->text());
        else
            ListBox2->addItem(Edit1->text());
        std::vector<std::string> lines;
        for (int row = 0; row < ListBox2->count(); ++row)
            lines.push_back(FromQString(ListBox2->item(row)->text()));
        writer_->WriteValue(section, key, CommaTextFromLines(lines));
    }
    LocServer->SaveLanguageImage(image1Picture_);
    RefreshClick();
    LocServerLanguageChange();
    ComboBox1->setCurrentIndex(sectionRow);
    ComboBox1Change();
    ListBox1->setCurrentRow(keyRow);
    ListBox1Click();
    FocusEdit1();
}

void TFMain::Exit1Click() {
    close();
}

void TFMain::New1Click() {
    TNewLangNameDialog dialog;
    if (dialog.exec() != QDialog::Accepted)
        return;
    const std::string name = FromQString(dialog.LangName->text());
    try {
        LocServer->NewLanguage(name, &dialog.Picture());
    } catch (...) {
        // The failure may come after the language was catalogued (its flag could not be
        // written): the menu shows the catalogue as it now stands, the view stays.
        FillLanguageMenu();
        throw;
    }
    ResetEditor();
    LocServer->SetLanguage(name);
}

void TFMain::DeleteClick() {
    if (!Confirm(QStringLiteral("Are You Sure Delete Language: ") + Label3->text() +
                 QStringLiteral("?.")))
        return;
    LocServer->DeleteLanguage(FromQString(Label3->text()));
    RefreshClick();
    ClearEditor();
    if (Label3->text().isEmpty())
        Delete->setEnabled(false);
}

void TFMain::DeleteAllLanguages1Click() {
    if (!Confirm(QStringLiteral("Are You Sure Delete All Languages?.")))
        return;
    const int count = LocServer->LanguageList().Count();
    for (int pass = 0; pass < count; ++pass) {
        // A copy: the deletion rebuilds the catalogue the name lives in.
        const std::string first = LocServer->LanguageList().Strings(0);
        LocServer->DeleteLanguage(first);
    }
    RefreshClick();
    ClearEditor();
}

void TFMain::SpeedButton1Click() {
    {
        TFolders dialog;
        if (dialog.exec() == QDialog::Accepted) {
            Edit2->setText(dialog.SelectedPath());
            LocServer->SetDicPath(NativePathText(Edit2->text()));
        }
    }
    RefreshClick();
}

void TFMain::NewSection1Click() {
    TNewKey dialog;
    dialog.Edit1->setToolTip(QStringLiteral("New Section Name"));
    dialog.setWindowTitle(QStringLiteral("Insert New Section"));
    if (dialog.exec() != QDialog::Accepted)
        return;
    const QString name = dialog.Edit1->text();
    LocServer->AddKeyToAll(FromQString(name), "");
    LoadLanguageView();
    SelectSectionIgnoringCase(name);
    ComboBox1Change();
}

void TFMain::NewSubSection1Click() {
    TNewKey dialog;
    dialog.Edit1->setToolTip(QStringLiteral("New Item Name"));
    dialog.setWindowTitle(QStringLiteral("Insert New Item"));
    if (dialog.exec() != QDialog::Accepted)
        return;
    const QString section = ComboBox1->currentText();
    LocServer->AddKeyToAll(FromQString(section), FromQString(dialog.Edit1->text()));
    LoadLanguageView();
    SelectSectionIgnoringCase(section);
    ComboBox1Change();
}

void TFMain::DeleteSection1Click() {
    if (!Confirm(QStringLiteral("Are You Sure Delete Section: ") + ComboBox1->currentText() +
                 QStringLiteral("?.")))
        return;
    try {
        LocServer->DeleteSectionFromAll(Section());
    } catch (...) {
        // The dictionaries before the failing one have lost the section already.
        ShowSectionAgain(ComboBox1->currentText());
        throw;
    }
    LoadLanguageView();
}

void TFMain::DeleteItem1Click() {
    const QString key = SelectedRowText(*ListBox1);
    if (!Confirm(QStringLiteral("Are You Sure Delete Item: ") + key +
                 QStringLiteral(" from Section: ") + ComboBox1->currentText() +
                 QStringLiteral("?.")))
        return;
    LocServer->DeleteKeyFromAll(Section(), SelectedKey());
    const QString section = ComboBox1->currentText();
    LoadLanguageView();
    SelectSectionIgnoringCase(section);
    ComboBox1Change();
}

} // namespace tavrel::editor

namespace tavrel::editor {

void TFMain::AddPluralForms1Click() {
    const std::string section = Section();
    const std::string key = SelectedKey();
    // A variant's own variants make no sense: work on its plain key.
    const std::string plain = SplitPluralVariantKey(key).first;
    LocServer->AddPluralVariants(section, plain);
    ComboBox1Change();
    const auto found = ListBox1->findItems(ToQString(plain), Qt::MatchExactly);
    if (!found.isEmpty()) {
        ListBox1->setCurrentItem(found.front());
        ListBox1Click();
    }
}

void TFMain::ExplainPluralVariants() {
    std::string locale;
    for (int row = 0; row < ListBox1->count(); ++row) {
        QListWidgetItem* item = ListBox1->item(row);
        const auto [plain, category] = SplitPluralVariantKey(FromQString(item->text()));
        if (category == "other")
            continue;
        if (locale.empty())
            locale = LocServer->LanguageLocale("");
        const std::string samples = PluralSamples(locale, category);
        item->setToolTip(
            QStringLiteral("Plural form \"%1\" of \"%2\"%3")
                .arg(ToQString(category), ToQString(plain),
                     samples.empty()
                         ? QString()
                         : QStringLiteral(": counts such as %1").arg(ToQString(samples))));
    }
}

void TFMain::NoticeConversion(const std::filesystem::path& dictionary) {
    if (!noticedConversions_.insert(dictionary).second)
        return;
    // Not modal: the save has happened; the note must not stop the work.
    auto* box = new QMessageBox(QMessageBox::Information, QStringLiteral("Dictionary converted"),
                                QStringLiteral("The dictionary \"%1\" was stored in Windows-1252, "
                                               "which cannot hold the text you saved. It is now "
                                               "stored in UTF-8; every other text in it is kept.")
                                    .arg(QString::fromStdString(dictionary.filename().string())),
                                QMessageBox::Ok, this);
    box->setObjectName(QStringLiteral("ConversionNotice"));
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->open();
}

} // namespace tavrel::editor

namespace tavrel::editor {

bool TFMain::HasUnsavedEdit() const {
    return shownValue_ && Post->isEnabled() && Edit1->text() != shownValue_->text;
}

bool TFMain::MayLeaveValue() {
    if (!HasUnsavedEdit())
        return true;
    const TShownValue& shown = *shownValue_;
    QString entry = QStringLiteral("\"%1\" in section \"%2\"")
                        .arg(ToQString(shown.key), ToQString(shown.section));
    if (shown.line >= 0)
        entry = QStringLiteral("Line %1 of ").arg(shown.line + 1) + entry;
    QMessageBox box(QMessageBox::Question, QStringLiteral("Unsaved Change"),
                    QStringLiteral("%1 was changed. Save the change?").arg(entry),
                    QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel, this);
    box.setObjectName(QStringLiteral("SaveQuestion"));
    box.setDefaultButton(QMessageBox::Save);
    box.setEscapeButton(QMessageBox::Cancel);
    switch (box.exec()) {
    case QMessageBox::Save:
        SaveShownValue();
        return true;
    case QMessageBox::Discard:
        Post->setEnabled(false);
        return true;
    default:
        return false;
    }
}

void TFMain::SaveShownValue() {
    const TShownValue shown = *shownValue_;
    const std::string text = FromQString(Edit1->text());
    // Saved from here on: the window then shows the entry as written.
    Post->setEnabled(false);
    try {
        if (shown.section != kCommaTextSection) {
            writer_->WriteValue(shown.section, shown.key, text);
        } else {
            // The edited line replaces the line it was taken from, as Post does.
            std::vector<std::string> lines =
                LinesFromCommaText(writer_->Read(shown.section, shown.key).value);
            if (shown.line >= 0 && static_cast<std::size_t>(shown.line) < lines.size())
                lines[static_cast<std::size_t>(shown.line)] = text;
            else
                lines.push_back(text);
            writer_->WriteValue(shown.section, shown.key, CommaTextFromLines(lines));
        }
        LocServer->SaveLanguageImage(image1Picture_);
    } catch (...) {
        Post->setEnabled(true);
        throw;
    }
}

void TFMain::SelectShownValue() {
    if (!shownValue_)
        return;
    const TShownValue& shown = *shownValue_;
    ComboBox1->setCurrentIndex(ComboBox1->findText(ToQString(shown.section), Qt::MatchExactly));
    if (Section() != shown.section)
        return;
    const auto keys = ListBox1->findItems(ToQString(shown.key), Qt::MatchExactly);
    if (!keys.isEmpty())
        ListBox1->setCurrentItem(keys.front());
    if (shown.line >= 0 && shown.line < ListBox2->count())
        ListBox2->setCurrentRow(shown.line);
}

void TFMain::LeaveValueThen(void (TFMain::*showNext)()) {
    bool leave = false;
    try {
        leave = MayLeaveValue();
    } catch (...) {
        SelectShownValue(); // the save failed: the edit stays where it was made
        throw;
    }
    if (!leave) {
        SelectShownValue();
        return;
    }
    (this->*showNext)();
}

void TFMain::ListBox1Select() {
    // The entry shown, chosen again, is shown again as it is stored, as it always was.
    if (shownValue_ && ListBox1->currentItem() != nullptr &&
        FromQString(ListBox1->currentItem()->text()) == shownValue_->key) {
        ListBox1Click();
        return;
    }
    LeaveValueThen(&TFMain::ListBox1Click);
}

void TFMain::ListBox2Select() {
    if (shownValue_ && ListBox2->currentRow() == shownValue_->line) {
        ListBox2Click();
        return;
    }
    LeaveValueThen(&TFMain::ListBox2Click);
}

void TFMain::ComboBox1Select() {
    LeaveValueThen(&TFMain::ComboBox1Change);
}

void TFMain::GuardLanguageMenu() {
    for (int i = 0; i < editLanguagesItem_->Count(); ++i) {
        TMenuItem* item = editLanguagesItem_->Items(i);
        if (!item->OnClick)
            continue;
        item->OnClick = [this, click = item->OnClick](TPersistent* sender) {
            if (MayLeaveValue())
                click(sender);
        };
    }
}

void TFMain::closeEvent(QCloseEvent* event) {
    bool leave = false;
    RunGuarded([&] { leave = MayLeaveValue(); });
    if (!leave) {
        event->ignore();
        return;
    }
    if (table_ != nullptr)
        table_->close();
    QMainWindow::closeEvent(event);
}

void TFMain::SaveAndNextUntranslated1Click() {
    if (Post->isEnabled())
        PostClick();
    const auto next = NextUntranslated();
    if (!next) {
        QApplication::beep(); // every entry is translated
        return;
    }
    if (next->first != ComboBox1->currentIndex()) {
        ComboBox1->setCurrentIndex(next->first);
        ComboBox1Change();
    }
    const auto keys = ListBox1->findItems(ToQString(next->second), Qt::MatchExactly);
    if (keys.isEmpty())
        return;
    ListBox1->setCurrentItem(keys.front());
    try {
        ListBox1Click();
    } catch (const EListError&) {
        // A list without lines: nothing to show, the typed text becomes its first line.
        Edit1->clear();
        shownValue_->text.clear();
        FocusEdit1();
    }
}

std::optional<std::pair<int, std::string>> TFMain::NextUntranslated() {
    const int sections = ComboBox1->count();
    const int startSection = std::max(0, ComboBox1->currentIndex());
    const std::string currentKey =
        ListBox1->currentRow() >= 0 ? FromQString(ListBox1->currentItem()->text()) : std::string();
    if (sections == 0)
        return std::nullopt;
    // Every section once, from the selected one on; the selected one's keys after the
    // selected key first, the ones before it last.
    for (int step = 0; step <= sections; ++step) {
        const int row = (startSection + step) % sections;
        if (QString::compare(ComboBox1->itemText(row), QStringLiteral("Definitions"),
                             Qt::CaseInsensitive) == 0)
            continue; // what names the language is no text to translate
        const std::string section = FromQString(ComboBox1->itemText(row));
        std::vector<std::string> keys;
        LocServer->ReadSectionKeys(section, keys);
        auto first = keys.begin(), last = keys.end();
        const auto selected = std::find(keys.begin(), keys.end(), currentKey);
        if (step == 0 && selected != keys.end())
            first = selected + 1;
        if (step == sections)
            last = selected == keys.end() ? keys.begin() : selected;
        for (auto key = first; key < last; ++key) {
            const std::string value = LocServer->ReadValue(section, *key);
            const TEntryNotes notes = LocServer->ReadEntryNotes(section, *key);
            const std::optional<std::string_view> stored =
                value.empty() ? std::nullopt : std::optional<std::string_view>(value);
            if (EntryState(*key, stored, notes) == TEntryState::Untranslated)
                return std::make_pair(row, *key);
        }
    }
    return std::nullopt;
}

void TFMain::TranslationTable1Click() {
    if (table_ == nullptr)
        table_ = new TTranslationTable(*writer_, this);
    table_->show();
    table_->raise();
    table_->activateWindow();
}

void TFMain::TellTable() {
    if (table_ != nullptr)
        table_->ScheduleReload();
}

void TFMain::EntryChanged(const QString& section, const QString& key) {
    TellTable();
    // The main window follows a change made elsewhere unless it holds an edit of its own.
    if (!shownValue_ || HasUnsavedEdit() || ToQString(shownValue_->section) != section ||
        ToQString(shownValue_->key) != key || ComboBox1->currentText() != section)
        return;
    const std::string value = LocServer->ReadValue(FromQString(section), FromQString(key));
    if (shownValue_->section != kCommaTextSection) {
        Edit1->setText(ToQString(value));
    } else {
        const int line = ListBox2->currentRow();
        ListBox2->clear();
        for (const std::string& text : LinesFromCommaText(value))
            ListBox2->addItem(ToQString(text));
        if (line >= 0 && line < ListBox2->count()) {
            ListBox2->setCurrentRow(line);
            Edit1->setText(ListBox2->item(line)->text());
        }
    }
    shownValue_->text = Edit1->text();
    Post->setEnabled(false);
}

} // namespace tavrel::editor
