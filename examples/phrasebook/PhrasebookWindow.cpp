#include "PhrasebookWindow.h"

#include "tavrel/localize/TOvkLocalizeServer.h"
#include "tavrel/qt/QtText.h"
#include "tavrel/storage/DictionaryFiles.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenuBar>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStatusBar>
#include <QTabWidget>
#include <QToolBar>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace phrasebook {

namespace {

template <class T> T* Named(T* object, const char* name) {
    object->setObjectName(QString::fromLatin1(name));
    return object;
}

QAction* MakeAction(QObject* owner, const char* name, const QString& text, const QString& tip) {
    auto* action = Named(new QAction(text, owner), name);
    action->setToolTip(tip);
    return action;
}

} // namespace

PhrasebookWindow::PhrasebookWindow(tavrel::TOvkLocalizeServer& server) : server_(server) {
    setObjectName("PhrasebookWindow");
    setWindowTitle("Phrasebook");

    QAction* newPhrase =
        MakeAction(this, "NewPhraseAction", "&New phrase", "Add a new phrase to the list");
    collectTexts_ = MakeAction(this, "CollectTextsAction", "&Collect texts",
                               "Add every text of this window to all dictionaries");
    QAction* quit = Named(new QAction("&Quit", this), "QuitAction");
    QAction* about = Named(new QAction("&About Phrasebook", this), "AboutAction");
    quit->setShortcut(QKeySequence::Quit);

    QMenu* file = Named(menuBar()->addMenu("&File"), "FileMenu");
    file->addAction(newPhrase);
    file->addAction(collectTexts_);
    file->addSeparator();
    file->addAction(quit);
    languageMenu_ = Named(menuBar()->addMenu("&Language"), "LanguageMenu");
    QMenu* help = Named(menuBar()->addMenu("&Help"), "HelpMenu");
    help->addAction(about);

    QToolBar* tools = Named(addToolBar("Main toolbar"), "MainToolBar");
    tools->addAction(newPhrase);
    tools->addAction(collectTexts_);

    auto* pages = Named(new QTabWidget, "PageTabs");
    setCentralWidget(pages);

    // Phrases: a category, the common phrases and the user's own collection.
    auto* phrasesPage = Named(new QWidget, "PhrasesPage");
    auto* categoryLabel = Named(new QLabel("&Category:"), "CategoryLabel");
    categories_ = Named(new QComboBox, "CategoryBox");
    categories_->addItems({"Greetings", "Travel", "Food"});
    categories_->setToolTip("Pick a category");
    categoryLabel->setBuddy(categories_);
    phrases_ = Named(new QListWidget, "PhraseList");
    phrases_->addItems({"Good morning", "Thank you", "Where is the station?"});
    phrases_->setCurrentRow(0);
    phrases_->setToolTip("Common phrases");
    auto* add = Named(new QPushButton("&Add"), "AddButton");
    add->setToolTip("Add the phrase to your collection");
    auto* remove = Named(new QPushButton("&Remove"), "RemoveButton");
    remove->setToolTip("Remove the selected phrase");
    collection_ = Named(new QTreeWidget, "CollectionTree");
    collection_->setHeaderLabels({"Phrase", "Category", "Notes"});
    collection_->setRootIsDecorated(false);
    collection_->setToolTip("Your own phrases");

    auto* categoryRow = new QHBoxLayout;
    categoryRow->addWidget(categoryLabel);
    categoryRow->addWidget(categories_, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(add);
    buttons->addWidget(remove);
    buttons->addStretch();
    auto* phrasesLayout = new QVBoxLayout(phrasesPage);
    phrasesLayout->addLayout(categoryRow);
    phrasesLayout->addWidget(phrases_);
    phrasesLayout->addLayout(buttons);
    phrasesLayout->addWidget(collection_);
    pages->addTab(phrasesPage, "&Phrases");
    pages->setTabToolTip(0, "Browse phrases by category");

    // Settings: how phrases are shown, the traveller's name and notes.
    auto* settingsPage = Named(new QWidget, "SettingsPage");
    auto* display = Named(new QGroupBox("Display"), "DisplayGroup");
    auto* pronunciation = Named(new QCheckBox("Show &pronunciation"), "PronunciationCheck");
    pronunciation->setToolTip("Show how each phrase is spoken");
    auto* displayLayout = new QVBoxLayout(display);
    displayLayout->addWidget(pronunciation);
    auto* nameLabel = Named(new QLabel("Your &name:"), "NameLabel");
    auto* name = Named(new QLineEdit("Traveller"), "NameEdit");
    name->setToolTip("Used in greetings");
    nameLabel->setBuddy(name);
    auto* notesLabel = Named(new QLabel("&Notes:"), "NotesLabel");
    auto* notes =
        Named(new QPlainTextEdit("Pack your passport\nLearn ten words a day"), "NotesEdit");
    notes->setToolTip("Your travel notes");
    notesLabel->setBuddy(notes);
    auto* form = new QFormLayout;
    form->addRow(nameLabel, name);
    form->addRow(notesLabel, notes);
    auto* settingsLayout = new QVBoxLayout(settingsPage);
    settingsLayout->addWidget(display);
    settingsLayout->addLayout(form);
    pages->addTab(settingsPage, "&Settings");
    pages->setTabToolTip(1, "Choose how phrases appear");

    auto* status = Named(new QLabel("Ready"), "StatusLabel");
    status->setToolTip("Messages appear here");
    statusBar()->addPermanentWidget(status, 1);

    connect(newPhrase, &QAction::triggered, this, [this] { AddPhrase(); });
    connect(add, &QPushButton::clicked, this, [this] { AddPhrase(); });
    connect(remove, &QPushButton::clicked, this, [this] { RemovePhrase(); });
    connect(collectTexts_, &QAction::triggered, this,
            [this] { Guarded([this] { CollectTexts(); }); });
    connect(about, &QAction::triggered, this, [this] { Guarded([this] { ShowAbout(); }); });
    connect(quit, &QAction::triggered, this, &QWidget::close);

    // One call each: the window becomes a client, the menu lists the languages.
    client_ = tavrel::AddQtClient(server_, *this);
    tavrel::BindLanguageMenu(server_, *languageMenu_)
        ->SetErrorHandler([this](const std::exception& error) { ShowError(error); });
}

QDialog* PhrasebookWindow::ShowAbout() {
    if (about_ == nullptr) {
        about_ = Named(new QDialog(this), "AboutDialog");
        about_->setWindowTitle("About Phrasebook");
        auto* text = Named(new QLabel("A small phrasebook that switches language while it runs."),
                           "AboutText");
        text->setWordWrap(true);
        auto* buttons = new QDialogButtonBox;
        QPushButton* close =
            Named(buttons->addButton("&Close", QDialogButtonBox::AcceptRole), "CloseButton");
        connect(close, &QPushButton::clicked, about_, &QDialog::accept);
        auto* layout = new QVBoxLayout(about_);
        layout->addWidget(text);
        layout->addWidget(buttons);
        // Made after the last switch: it still reads English until translated once. From
        // now on it belongs to the window and switches with it.
        if (client_)
            client_->LocalizeNew(*about_);
    }
    about_->show();
    about_->raise();
    return about_;
}

void PhrasebookWindow::CollectTexts() {
    // Dictionaries are keyed by the untranslated texts: collect them in the Default
    // language and come back to the current one afterwards.
    const std::string language = server_.Language();
    const bool translated = language != tavrel::kDefaultLanguage;
    if (translated)
        server_.SetLanguage(tavrel::kDefaultLanguage);
    server_.RegisterClientTexts();
    if (translated)
        server_.SetLanguage(language);
    statusBar()->showMessage(Message("Texts collected"), 5000);
}

void PhrasebookWindow::AddPhrase() {
    const QListWidgetItem* phrase = phrases_->currentItem();
    if (phrase == nullptr)
        return;
    auto* row = new QTreeWidgetItem(collection_);
    row->setText(0, phrase->text());
    row->setText(1, categories_->currentText());
}

void PhrasebookWindow::RemovePhrase() {
    delete collection_->currentItem();
}

QString PhrasebookWindow::Message(const char* english) const {
    // Messages have no fall-back in the dictionaries: an empty translation means none.
    const std::string text = server_.TranslateText("Messages", english, server_.Language());
    return text.empty() ? QString::fromLatin1(english) : tavrel::ToQString(text);
}

void PhrasebookWindow::ShowError(const std::exception& error) {
    QMessageBox::critical(this, windowTitle(), QString::fromLocal8Bit(error.what()));
}

template <class Handler> void PhrasebookWindow::Guarded(Handler handler) {
    try {
        handler();
    } catch (const std::exception& error) {
        ShowError(error);
    }
}

} // namespace phrasebook
