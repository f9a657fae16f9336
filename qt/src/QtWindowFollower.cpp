#include "QtWindowFollower.h"

#include "ServerGoneWatcher.h"
#include "tavrel/localize/TOvkLocalizeServer.h"
#include "tavrel/qt/QtBridge.h"
#include "tavrel/qt/QtText.h"

#include <algorithm>
#include <QCoreApplication>
#include <QEvent>
#include <QGuiApplication>
#include <QLibraryInfo>
#include <QMenu>
#include <QWidget>
#include <vector>

namespace tavrel {

namespace {

std::vector<QtWindowFollower*>& Followers() {
    static std::vector<QtWindowFollower*> followers;
    return followers;
}

} // namespace

QtWindowFollower* QtWindowFollower::Find(const TOvkLocalizeServer& server) {
    for (QtWindowFollower* follower : Followers()) {
        if (follower->server_ == &server)
            return follower;
    }
    return nullptr;
}

QtWindowFollower& QtWindowFollower::Of(TOvkLocalizeServer& server) {
    if (QtWindowFollower* follower = Find(server))
        return *follower;
    return *new QtWindowFollower(server);
}

QtWindowFollower::QtWindowFollower(TOvkLocalizeServer& server)
    : QObject(QCoreApplication::instance()), server_(&server),
      watcher_(std::make_unique<ServerGoneWatcher>(server,
                                                   [this] {
                                                       server_ = nullptr;
                                                       dictionary_.SetEnabled(false);
                                                       deleteLater();
                                                   })),
      dictionary_([this] { Reapply(); }) {
    Followers().push_back(this);
    server.FreeNotification(watcher_.get());
    // Qt's translations change before the engine reads a text: widgets that translate
    // themselves on LanguageChange (standard buttons, an application's retranslateUi) do
    // so first, and the engine then maps what they show.
    // The dictionary's stamp is taken before the switch reads it: a change made meanwhile
    // is then seen as a change, never taken for what is shown.
    switchListener_ = server.AddSwitchListener([this](TOvkLocalizeServer::TSwitchPhase phase) {
        if (phase == TOvkLocalizeServer::TSwitchPhase::Begin) {
            switchFile_ = server_->LanguageFileName(server_->CurrentLanguage());
            switchStamp_ = QtDictionaryFollower::StampOf(switchFile_);
            ApplyLocale();
            return;
        }
        const std::filesystem::path shown = server_->ShownDictionaryFile();
        dictionary_.Follow(shown, shown == switchFile_ ? switchStamp_
                                                       : QtDictionaryFollower::StampOf(shown));
    });
    if (QCoreApplication* app = QCoreApplication::instance())
        app->installEventFilter(this);
}

QtWindowFollower::~QtWindowFollower() {
    std::erase(Followers(), this);
    if (server_ != nullptr) {
        server_->RemoveSwitchListener(switchListener_);
        server_->RemoveFreeNotification(watcher_.get());
    }
    if (translator_)
        QCoreApplication::removeTranslator(translator_.get());
}

bool QtWindowFollower::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::Show && followWindows_ && server_ != nullptr &&
        watched->isWidgetType()) {
        auto* widget = static_cast<QWidget*>(watched);
        const Qt::WindowType type = widget->windowType();
        if (widget->isWindow() && (type == Qt::Window || type == Qt::Dialog) &&
            qobject_cast<QMenu*>(widget) == nullptr)
            Adopt(*widget);
    }
    return QObject::eventFilter(watched, event);
}

void QtWindowFollower::Adopt(QWidget& window) {
    if (!server_->Active() || window.objectName().startsWith(QLatin1String("qt_")))
        return;
    // A window inside a client tree is that client's (it localizes it on its first show).
    for (QObject* object = &window; object != nullptr; object = object->parent()) {
        if (IsQtClientObject(*server_, *object))
            return;
    }
    QtLocalizeClient* client = AddQtClient(*server_, window);
    client->LocalizeNew(window);
}

void QtWindowFollower::Reapply() {
    if (server_ == nullptr || !server_->Active())
        return;
    try {
        server_->ReapplyLanguage();
    } catch (const std::exception& e) {
        // Nobody asked for this: the application goes on with what it shows.
        qWarning("The changed dictionary could not be applied: %s", e.what());
    }
}

void QtWindowFollower::ApplyLocale() {
    if (server_ == nullptr)
        return;
    QString locale;
    try {
        locale = ToQString(server_->LanguageLocale(""));
    } catch (const std::exception&) {
        // An unreadable dictionary names no locale.
    }
    if (locale == locale_)
        return;
    locale_ = locale;
    // Numbers, dates and the direction of the whole window follow the language; a
    // language without a known locale gives back what the application started with.
    QLocale::setDefault(locale.isEmpty() ? initialLocale_ : QLocale(locale));
    QGuiApplication::setLayoutDirection(locale.isEmpty() ? initialDirection_
                                                         : QLocale(locale).textDirection());
    if (translator_) {
        QCoreApplication::removeTranslator(translator_.get());
        translator_.reset();
    }
    if (!locale.isEmpty()) {
        auto translator = std::make_unique<QTranslator>();
        const QString folder = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
        if (translator->load(QLocale(locale), QStringLiteral("qt"), QStringLiteral("_"), folder) &&
            QCoreApplication::installTranslator(translator.get()))
            translator_ = std::move(translator);
    }
    // Deliver the language change now, before the engine reads what the widgets show.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::LanguageChange);
}

} // namespace tavrel
