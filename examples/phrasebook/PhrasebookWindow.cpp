#include "PhrasebookWindow.h"

#include "tavrel/localize/TOvkLocalizeServer.h"
#include "tavrel/qt/QtText.h"
#include "tavrel/storage/DictionaryFiles.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
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
#include <QSaveFile>
#include <QStandardItemModel>
#include <QStatusBar>
#include <QTableView>
#include <QTabWidget>
#include <QToolBar>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <stdexcept>

namespace phrasebook {

namespace {

template <class T> T* Named(T* object, const char* name) {
    object->setObjectName(QString::fromLatin1(name));
    return object;
}

QAction* MakeAction(QObject* owner, const char* name, const QString& text, const QString& tip) {
    auto* action = Named(new QAction(text, owner), name);
    action->setToolTip(tip);
    action->setStatusTip(tip);
    return action;
}

} // namespace

PhrasebookWindow::PhrasebookWindow(tavrel::TOvkLocalizeServer& server)
    : server_(server), messages_(server) {
    setObjectName("PhrasebookWindow");
    setWindowTitle("Phrasebook");

    QAction* newPhrase =
        MakeAction(this, "NewPhraseAction", "&New phrase", "Add a new phrase to the list");
    collectTexts_ = MakeAction(this, "CollectTextsAction", "&Collect texts",
                               "Add every text of this window to all dictionaries");
    QAction* openJournal =
        MakeAction(this, "OpenJournalAction", "&Open journal...", "Open a travel journal");
    openJournal->setShortcut(QKeySequence::Open);
    QAction* saveJournal =
        MakeAction(this, "SaveJournalAction", "&Save journal", "Save the journal");
    saveJournal->setShortcut(QKeySequence::Save);
    QAction* journalInfo =
        MakeAction(this, "JournalInfoAction", "Journal &info", "Show where the journal is kept");
    QAction* quit = Named(new QAction("&Quit", this), "QuitAction");
    QAction* about = Named(new QAction("&About Phrasebook", this), "AboutAction");
    quit->setShortcut(QKeySequence::Quit);

    QMenu* file = Named(menuBar()->addMenu("&File"), "FileMenu");
    file->addAction(newPhrase);
    file->addAction(collectTexts_);
    file->addSeparator();
    file->addAction(openJournal);
    file->addAction(saveJournal);
    file->addAction(journalInfo);
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
    // The phrases are the program's own, not the user's: they are translated too.
    phrases_->setProperty(tavrel::kQtLocalizeProperty, true);
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
    auto* passwordLabel = Named(new QLabel("Account &password:"), "PasswordLabel");
    auto* password = Named(new QLineEdit, "PasswordEdit");
    password->setEchoMode(QLineEdit::Password);
    password->setToolTip("Needed to share your phrases");
    passwordLabel->setBuddy(password);
    auto* currencyLabel = Named(new QLabel("C&urrency:"), "CurrencyLabel");
    // Currency codes are data the program passes on: never translated.
    auto* currency = Named(new QComboBox, "CurrencyBox");
    currency->addItems({"EUR", "USD", "GBP", "CHF"});
    currency->setProperty(tavrel::kQtLocalizeProperty, false);
    currencyLabel->setBuddy(currency);
    auto* form = new QFormLayout;
    form->addRow(nameLabel, name);
    form->addRow(passwordLabel, password);
    form->addRow(currencyLabel, currency);
    auto* settingsLayout = new QVBoxLayout(settingsPage);
    settingsLayout->addWidget(display);
    settingsLayout->addLayout(form);
    pages->addTab(settingsPage, "&Settings");
    pages->setTabToolTip(1, "Choose how phrases appear");

    // Journal: the user's own document.
    auto* journalPage = Named(new QWidget, "JournalPage");
    auto* notesLabel = Named(new QLabel("&Notes:"), "NotesLabel");
    journal_ = Named(new QPlainTextEdit, "NotesEdit");
    journal_->setToolTip("Your travel notes");
    journal_->setPlaceholderText("Write about your journey");
    notesLabel->setBuddy(journal_);
    auto* journalLayout = new QVBoxLayout(journalPage);
    journalLayout->addWidget(notesLabel);
    journalLayout->addWidget(journal_);
    pages->addTab(journalPage, "&Journal");
    pages->setTabToolTip(2, "Your travel journal");
    connect(journal_->document(), &QTextDocument::modificationChanged, this, [this](bool changed) {
        if (!windowFilePath().isEmpty()) // the title shows the journal
            setWindowModified(changed);
    });

    // Vocabulary: the words the user learnt, in a model of the program's own.
    auto* vocabularyPage = Named(new QWidget, "VocabularyPage");
    vocabulary_ = new QStandardItemModel(0, 2, this);
    vocabulary_->setHorizontalHeaderLabels({"Word", "Meaning"});
    vocabulary_->horizontalHeaderItem(0)->setToolTip("The word as it is written");
    auto* words = Named(new QTableView, "VocabularyTable");
    words->setModel(vocabulary_);
    words->setStatusTip("Words you learnt");
    auto* vocabularyLayout = new QVBoxLayout(vocabularyPage);
    vocabularyLayout->addWidget(words);
    pages->addTab(vocabularyPage, "&Vocabulary");

    auto* status = Named(new QLabel("Ready"), "StatusLabel");
    status->setToolTip("Messages appear here");
    statusBar()->addPermanentWidget(status, 1);
    collectionSize_ = Named(new QLabel, "CollectionSizeLabel");
    statusBar()->addPermanentWidget(collectionSize_);

    connect(newPhrase, &QAction::triggered, this, [this] { AddPhrase(); });
    connect(add, &QPushButton::clicked, this, [this] { AddPhrase(); });
    connect(remove, &QPushButton::clicked, this, [this] { RemovePhrase(); });
    connect(collectTexts_, &QAction::triggered, this,
            [this] { Guarded([this] { CollectTexts(); }); });
    connect(about, &QAction::triggered, this, [this] { Guarded([this] { ShowAbout(); }); });
    connect(quit, &QAction::triggered, this, &QWidget::close);
    connect(openJournal, &QAction::triggered, this,
            [this] { Guarded([this] { ChooseAndOpenJournal(); }); });
    connect(saveJournal, &QAction::triggered, this, [this] { Guarded([this] { SaveJournal(); }); });
    connect(journalInfo, &QAction::triggered, this, [this] { ShowJournalInfo(); });

    // One call each: the window becomes a client, the menu lists the languages.
    client_ = tavrel::AddQtClient(server_, *this);
    tavrel::BindLanguageMenu(server_, *languageMenu_)
        ->SetErrorHandler([this](const std::exception& error) { ShowError(error); });
    ShowCollectionSize();
}

void PhrasebookWindow::ShowCollectionSize() {
    // Shown again with its count after every switch; the count is the program's, so the
    // engine leaves the label to the message.
    messages_.Bind(*collectionSize_, "text",
                   {"%n phrases in your collection", {}, collection_->topLevelItemCount()});
}

void PhrasebookWindow::ChooseAndOpenJournal() {
    const QString path = QFileDialog::getOpenFileName(this, messages_.Text("Open journal"));
    if (!path.isEmpty())
        OpenJournal(path);
}

void PhrasebookWindow::OpenJournal(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw std::runtime_error(messages_.Text("Cannot open %1", {path}).toStdString());
    journal_->setPlainText(QString::fromUtf8(file.readAll()));
    journal_->document()->setModified(false);
    // No title of its own from now on: Qt shows the file's name.
    setWindowTitle(QString());
    setWindowFilePath(path);
    statusBar()->showMessage(messages_.Text("Opened %1", {QFileInfo(path).fileName()}), 5000);
}

void PhrasebookWindow::SaveJournal() {
    const QString path = windowFilePath();
    if (path.isEmpty())
        throw std::runtime_error(messages_.Text("Open a journal first").toStdString());
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(journal_->toPlainText().toUtf8()) < 0 ||
        !file.commit())
        throw std::runtime_error(messages_.Text("Cannot save %1", {path}).toStdString());
    journal_->document()->setModified(false);
    statusBar()->showMessage(messages_.Text("Saved %1", {QFileInfo(path).fileName()}), 5000);
}

QMessageBox* PhrasebookWindow::ShowJournalInfo() {
    if (journalInfo_ == nullptr) {
        // Made in English like every text of the program; it is shown in the current
        // language without further ado.
        journalInfo_ =
            Named(new QMessageBox(QMessageBox::Information, "Journal",
                                  "Your journal stays on this computer.", QMessageBox::Ok, this),
                  "JournalInfoBox");
        journalInfo_->setInformativeText("Only you can read it.");
    }
    journalInfo_->open();
    return journalInfo_;
}

void PhrasebookWindow::AddWord(const QString& word, const QString& meaning) {
    vocabulary_->appendRow({new QStandardItem(word), new QStandardItem(meaning)});
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
    statusBar()->showMessage(messages_.Text("Texts collected"), 5000);
}

void PhrasebookWindow::AddPhrase() {
    const QListWidgetItem* phrase = phrases_->currentItem();
    if (phrase == nullptr)
        return;
    auto* row = new QTreeWidgetItem(collection_);
    row->setText(0, phrase->text());
    row->setText(1, categories_->currentText());
    ShowCollectionSize();
}

void PhrasebookWindow::RemovePhrase() {
    delete collection_->currentItem();
    ShowCollectionSize();
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
