// A language switch of a real Qt form, two ways, in one run: through the localization
// server and the widget bridge, and through Qt's own mechanism (a QTranslator loaded from
// a .qm file made by lrelease from the same texts, and a retranslate function that sets
// every text, run on the LanguageChange event as Qt applications do).
//
// The form: 1,000 widgets with 3,000 texts (400 buttons and 300 labels with a text and a
// tool tip, 200 group boxes with a title and a tool tip, 100 tree widgets with six header
// labels and six header tool tips), shown on the off-screen platform. Each switch goes
// from one of two languages to the other.

#include "tavrel/localize/TCollection.h"
#include "tavrel/localize/TOvkLocalizeServer.h"
#include "tavrel/qt/QtBridge.h"

#include <benchmark/benchmark.h>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <QApplication>
#include <QCoreApplication>
#include <QEvent>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QLibraryInfo>
#include <QProcess>
#include <QPushButton>
#include <QTranslator>
#include <QTreeWidget>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using namespace tavrel;

constexpr int kButtons = 400, kLabels = 300, kGroups = 200, kTrees = 100, kColumns = 6;
constexpr int kTexts = 2 * (kButtons + kLabels + kGroups) + 2 * kColumns * kTrees;
static_assert(kTexts == 3000);
const char* const kContext = "Form";
const char* const kLanguages[2] = {"Alpha", "Beta"};

// Short texts: the engine rebuilds its reverse dictionary from each section's key listing,
// which holds 16,384 bytes; 1,500 keys of "Text 1234" fit (see bench/RESULTS.md).
std::string Key(int i) {
    return "Text " + std::to_string(i);
}
std::string Translation(int language, int i) {
    return std::string(language == 0 ? "(A) " : "(B) ") + Key(i);
}
bool IsCaption(int i) {
    // Texts come in pairs (text, tool tip), trees in blocks of six captions and six tips.
    const int trees = 2 * (kButtons + kLabels + kGroups);
    return i < trees ? i % 2 == 0 : (i - trees) % (2 * kColumns) < kColumns;
}

// The 3,000 source texts, as a Qt application would hold them (UTF-8 literals).
const std::vector<std::string>& Keys() {
    static const std::vector<std::string> keys = [] {
        std::vector<std::string> list;
        for (int i = 0; i < kTexts; ++i)
            list.push_back(Key(i));
        return list;
    }();
    return keys;
}

class Form : public QWidget {
public:
    Form() {
        int k = 0;
        for (int i = 0; i < kButtons; ++i, k += 2)
            buttons.push_back(new QPushButton(this));
        for (int i = 0; i < kLabels; ++i, k += 2)
            labels.push_back(new QLabel(this));
        for (int i = 0; i < kGroups; ++i, k += 2)
            groups.push_back(new QGroupBox(this));
        for (int i = 0; i < kTrees; ++i) {
            auto* tree = new QTreeWidget(this);
            tree->setColumnCount(kColumns);
            trees.push_back(tree);
        }
        resize(800, 600);
    }

    // Sets every text, the way uic's retranslateUi does; `text` maps a source text.
    template <class Text> void SetTexts(Text text) {
        int k = 0;
        for (QPushButton* b : buttons) {
            b->setText(text(k++));
            b->setToolTip(text(k++));
        }
        for (QLabel* l : labels) {
            l->setText(text(k++));
            l->setToolTip(text(k++));
        }
        for (QGroupBox* g : groups) {
            g->setTitle(text(k++));
            g->setToolTip(text(k++));
        }
        for (QTreeWidget* t : trees) {
            QTreeWidgetItem* header = t->headerItem();
            for (int c = 0; c < kColumns; ++c)
                header->setText(c, text(k++));
            for (int c = 0; c < kColumns; ++c)
                header->setToolTip(c, text(k++));
        }
    }

    // Every text, in the order SetTexts sets them.
    std::vector<std::string> Texts() const {
        std::vector<std::string> texts;
        for (const QPushButton* b : buttons)
            texts.insert(texts.end(), {b->text().toStdString(), b->toolTip().toStdString()});
        for (const QLabel* l : labels)
            texts.insert(texts.end(), {l->text().toStdString(), l->toolTip().toStdString()});
        for (const QGroupBox* g : groups)
            texts.insert(texts.end(), {g->title().toStdString(), g->toolTip().toStdString()});
        for (const QTreeWidget* t : trees) {
            for (int c = 0; c < kColumns; ++c)
                texts.push_back(t->headerItem()->text(c).toStdString());
            for (int c = 0; c < kColumns; ++c)
                texts.push_back(t->headerItem()->toolTip(c).toStdString());
        }
        return texts;
    }

    void Retranslate() {
        SetTexts([](int k) {
            return QCoreApplication::translate(kContext,
                                               Keys()[static_cast<std::size_t>(k)].c_str());
        });
    }

    std::vector<QPushButton*> buttons;
    std::vector<QLabel*> labels;
    std::vector<QGroupBox*> groups;
    std::vector<QTreeWidget*> trees;
    bool retranslateOnLanguageChange = false;

protected:
    void changeEvent(QEvent* event) override {
        if (event->type() == QEvent::LanguageChange && retranslateOnLanguageChange)
            Retranslate();
        QWidget::changeEvent(event);
    }
};

// Whether every text of the form reads in `language`.
bool AllTranslated(const Form& form, int language) {
    const std::vector<std::string> texts = form.Texts();
    for (int k = 0; k < kTexts; ++k) {
        if (texts[static_cast<std::size_t>(k)] != Translation(language, k))
            return false;
    }
    return true;
}

struct Workspace {
    fs::path root;
    Workspace() {
        char pattern[] = "/tmp/tavrel-qt-bench-XXXXXX";
        root = ::mkdtemp(pattern);
    }
    ~Workspace() {
        std::error_code ec;
        fs::remove_all(root, ec);
    }
};

void WriteDictionary(const fs::path& file, const std::string& language, int translation) {
    std::ofstream out(file, std::ios::binary);
    out << "[Definitions]\r\nOvkLanguage=" << language << "\r\n";
    for (const char* section : {"Caption", "Hint"}) {
        out << "[" << section << "]\r\n";
        for (int i = 0; i < kTexts; ++i) {
            if (IsCaption(i) == (std::string(section) == "Caption"))
                out << Key(i) << '=' << (translation < 0 ? Key(i) : Translation(translation, i))
                    << "\r\n";
        }
    }
}

QString Lrelease() {
#ifdef TAVREL_LRELEASE
    if (QFile::exists(TAVREL_LRELEASE))
        return TAVREL_LRELEASE;
#endif
    return QLibraryInfo::path(QLibraryInfo::BinariesPath) + "/lrelease";
}

// The same texts as a Qt translation: a .ts file compiled by lrelease.
fs::path MakeQm(const fs::path& folder, int language) {
    const fs::path ts = folder / (std::string(kLanguages[language]) + ".ts");
    const fs::path qm = folder / (std::string(kLanguages[language]) + ".qm");
    {
        std::ofstream out(ts, std::ios::binary);
        out << "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<!DOCTYPE TS>\n<TS version=\"2.1\">\n"
            << "<context>\n<name>" << kContext << "</name>\n";
        for (int i = 0; i < kTexts; ++i)
            out << "<message><source>" << Key(i) << "</source><translation>"
                << Translation(language, i) << "</translation></message>\n";
        out << "</context>\n</TS>\n";
    }
    QProcess lrelease;
    lrelease.start(Lrelease(), {QString::fromStdString(ts.string()), "-qm",
                                QString::fromStdString(qm.string()), "-silent"});
    if (!lrelease.waitForFinished(60000) || lrelease.exitCode() != 0 || !fs::exists(qm))
        return {};
    return qm;
}

// A server on the two languages' dictionaries (and Default), current language Default.
struct EngineWorkspace : Workspace {
    std::unique_ptr<TOvkLocalizeServer> server;
    EngineWorkspace() {
        const fs::path folder = root / "dict";
        fs::create_directories(folder);
        WriteDictionary(folder / "OvkDefault.Lng", "Default", -1);
        for (int l = 0; l < 2; ++l)
            WriteDictionary(folder / (std::string(kLanguages[l]) + ".Lng"), kLanguages[l], l);
        TLocalizeEnvironment env;
        env.SettingsFile = root / "Localize.ini";
        env.DefaultFolder = folder;
        server = std::make_unique<TOvkLocalizeServer>(nullptr, env);
        server->SetDicPath(folder.string());
        server->RefreshLanguages();
        server->SetActive(true);
        server->SetLanguage("Default");
    }
};

void BM_EngineSwitch(benchmark::State& state) {
    EngineWorkspace ws;
    TOvkLocalizeServer& server = *ws.server;
    Form form;
    form.SetTexts(
        [](int k) { return QString::fromStdString(Keys()[static_cast<std::size_t>(k)]); });
    form.show();
    QtLocalizeClient* client = AddQtClient(server, form);
    QCoreApplication::processEvents();

    int language = 0;
    for (auto _ : state) {
        server.SetLanguage(kLanguages[language]);
        language = 1 - language;
    }
    if (!AllTranslated(form, 1 - language))
        state.SkipWithError("the form was not translated");
    state.counters["texts"] = kTexts;
    state.counters["objects"] = client->TrackedCount();
}
BENCHMARK(BM_EngineSwitch)->Unit(benchmark::kMillisecond);

// --- Where the time goes ------------------------------------------------------------------

// The part of a switch that does not depend on the form: with Active false the server
// still rebuilds the reverse dictionary and opens both dictionaries, but walks nothing.
void BM_EngineSwitchInactive(benchmark::State& state) {
    EngineWorkspace ws;
    Form form;
    AddQtClient(*ws.server, form);
    ws.server->SetActive(false);
    int language = 0;
    for (auto _ : state) {
        ws.server->SetLanguage(kLanguages[language]);
        language = 1 - language;
    }
}
BENCHMARK(BM_EngineSwitchInactive)->Unit(benchmark::kMillisecond);

// What every assignment of the language costs, switch or not: with no client the server
// only records the language in the settings store.
void BM_EngineSetLanguageNoClient(benchmark::State& state) {
    EngineWorkspace ws;
    int language = 0;
    for (auto _ : state) {
        ws.server->SetLanguage(kLanguages[language]);
        language = 1 - language;
    }
}
BENCHMARK(BM_EngineSetLanguageNoClient)->Unit(benchmark::kMillisecond);

// The same 3,000 texts on plain core components (no Qt): the engine's own walk.
class TCoreControl : public TComponent {
    TAVREL_CLASS(TCoreControl)
public:
    using TComponent::TComponent;
    std::string caption, hint;
};
const TClassInfo& TCoreControl::StaticClassInfo() {
    static const TClassInfo info(
        "TCoreControl", &TComponent::StaticClassInfo(),
        {StringProp("Caption", &TCoreControl::caption), StringProp("Hint", &TCoreControl::hint)});
    return info;
}
class TCoreColumn : public TCollectionItem {
    TAVREL_CLASS(TCoreColumn)
public:
    std::string caption, hint;
};
const TClassInfo& TCoreColumn::StaticClassInfo() {
    static const TClassInfo info(
        "TCoreColumn", &TCollectionItem::StaticClassInfo(),
        {StringProp("Caption", &TCoreColumn::caption), StringProp("Hint", &TCoreColumn::hint)});
    return info;
}
class TCoreTree : public TComponent {
    TAVREL_CLASS(TCoreTree)
public:
    using TComponent::TComponent;
    std::unique_ptr<TCollection> columns = std::make_unique<TCollection>();
};
const TClassInfo& TCoreTree::StaticClassInfo() {
    static const TClassInfo info("TCoreTree", &TComponent::StaticClassInfo(),
                                 {ObjectProp("Columns", &TCoreTree::columns)});
    return info;
}

void FillCoreForm(TComponent& form) {
    int k = 0;
    for (int i = 0; i < kButtons + kLabels + kGroups; ++i, k += 2) {
        auto* control = new TCoreControl(&form);
        control->caption = Key(k);
        control->hint = Key(k + 1);
    }
    for (int i = 0; i < kTrees; ++i, k += 2 * kColumns) {
        auto* tree = new TCoreTree(&form);
        for (int c = 0; c < kColumns; ++c) {
            auto* column = tree->columns->Add<TCoreColumn>();
            column->caption = Key(k + c);
            column->hint = Key(k + kColumns + c);
        }
    }
}

void BM_EngineSwitchCoreForm(benchmark::State& state) {
    EngineWorkspace ws;
    TComponent form;
    FillCoreForm(form);
    ws.server->AddClient(form);
    int language = 0;
    for (auto _ : state) {
        ws.server->SetLanguage(kLanguages[language]);
        language = 1 - language;
    }
    if (static_cast<TCoreControl*>(form.Components(0))->caption != Translation(1 - language, 0))
        state.SkipWithError("the form was not translated");
}
BENCHMARK(BM_EngineSwitchCoreForm)->Unit(benchmark::kMillisecond);

// One pass over the untranslated form into Default, whose translations are the texts
// themselves: every text is read, looked up and written back unchanged, so no widget is
// touched. The difference between the two forms is the bridge's own cost per text.
void BM_OnePassNoChangeQtForm(benchmark::State& state) {
    EngineWorkspace ws;
    Form form;
    form.SetTexts(
        [](int k) { return QString::fromStdString(Keys()[static_cast<std::size_t>(k)]); });
    form.show();
    QtLocalizeClient* client = AddQtClient(*ws.server, form);
    QCoreApplication::processEvents();
    for (auto _ : state)
        ws.server->LocalizeTree(client->RootComponent(), "Default", nullptr, false);
}
BENCHMARK(BM_OnePassNoChangeQtForm)->Unit(benchmark::kMillisecond);

void BM_OnePassNoChangeCoreForm(benchmark::State& state) {
    EngineWorkspace ws;
    TComponent form;
    FillCoreForm(form);
    for (auto _ : state)
        ws.server->LocalizeTree(form, "Default", nullptr, false);
}
BENCHMARK(BM_OnePassNoChangeCoreForm)->Unit(benchmark::kMillisecond);

// Qt's cost of setting the 3,000 texts, given the new texts: the floor of any switch.
void BM_QtSetTextsOnly(benchmark::State& state) {
    Form form;
    std::vector<QString> texts[2];
    for (int l = 0; l < 2; ++l) {
        for (int k = 0; k < kTexts; ++k)
            texts[l].push_back(QString::fromStdString(Translation(l, k)));
    }
    form.show();
    QCoreApplication::processEvents();
    int language = 0;
    for (auto _ : state) {
        form.SetTexts([&](int k) { return texts[language][static_cast<std::size_t>(k)]; });
        language = 1 - language;
    }
    if (!AllTranslated(form, 1 - language))
        state.SkipWithError("the form was not translated");
}
BENCHMARK(BM_QtSetTextsOnly)->Unit(benchmark::kMillisecond);

void BM_QtTranslatorSwitch(benchmark::State& state) {
    Workspace ws;
    fs::path qm[2];
    for (int l = 0; l < 2; ++l)
        qm[l] = MakeQm(ws.root, l);
    if (qm[0].empty() || qm[1].empty()) {
        state.SkipWithError("lrelease failed");
        return;
    }
    Form form;
    form.Retranslate();
    form.show();
    form.retranslateOnLanguageChange = true;
    QTranslator translator;
    QCoreApplication::installTranslator(&translator);
    QCoreApplication::processEvents();

    int language = 0;
    for (auto _ : state) {
        // Loading into an installed translator announces a LanguageChange; the form's
        // handler retranslates when the event is delivered.
        if (!translator.load(QString::fromStdString(qm[language].string())))
            state.SkipWithError("cannot load the .qm file");
        QCoreApplication::sendPostedEvents(nullptr, QEvent::LanguageChange);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::LanguageChange);
        language = 1 - language;
    }
    QCoreApplication::removeTranslator(&translator);
    if (!AllTranslated(form, 1 - language))
        state.SkipWithError("the form was not translated");
    state.counters["texts"] = kTexts;
}
BENCHMARK(BM_QtTranslatorSwitch)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    if (std::getenv("QT_QPA_PLATFORM") == nullptr)
        ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication application(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
