#pragma once

// Private to the Qt layer: what a server's Qt clients share in one application. Windows
// the application creates later outside every client tree (a parentless dialog, a message
// box without parent) become clients of their own when they are first shown, in the
// current language; and at every switch the application's default QLocale, its layout
// direction (right to left for Arabic, Hebrew, Persian...) and Qt's own translations
// (standard buttons, Qt's dialogs) follow the locale of the new language. When the
// dictionary the texts were shown from changes on disk, the current language is applied
// again, so a translator's saved change shows in the running application.

#include "QtDictionaryFollower.h"

#include <memory>
#include <QGuiApplication>
#include <QLocale>
#include <QObject>
#include <QString>
#include <QTranslator>

namespace tavrel {

class TComponent;
class TOvkLocalizeServer;

// Whether `object` is mirrored by a client of `server`.
bool IsQtClientObject(const TOvkLocalizeServer& server, const QObject& object);

class QtWindowFollower : public QObject {
    Q_OBJECT
public:
    // The follower of `server`, made on first use; it lives as long as the server.
    static QtWindowFollower& Of(TOvkLocalizeServer& server);
    // nullptr when none was made.
    static QtWindowFollower* Find(const TOvkLocalizeServer& server);
    ~QtWindowFollower() override;

    void SetFollowWindows(bool follow) { followWindows_ = follow; }
    bool FollowsWindows() const { return followWindows_; }
    void SetFollowDictionary(bool follow) { dictionary_.SetEnabled(follow); }
    bool FollowsDictionary() const { return dictionary_.Enabled(); }
    // The locale applied at the last switch ("" for none).
    const QString& QtLocale() const { return locale_; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    explicit QtWindowFollower(TOvkLocalizeServer& server);
    void Adopt(QWidget& window);
    void ApplyLocale();
    void Reapply();

    TOvkLocalizeServer* server_;
    std::unique_ptr<TComponent> watcher_;
    std::unique_ptr<QTranslator> translator_;
    QString locale_;
    QtDictionaryFollower dictionary_;
    // The dictionary a running switch reads, as it was when the switch began.
    QtDictionaryFollower::Stamp switchStamp_;
    std::filesystem::path switchFile_;
    const QLocale initialLocale_;
    const Qt::LayoutDirection initialDirection_ = QGuiApplication::layoutDirection();
    int switchListener_ = 0;
    bool followWindows_ = true;
};

} // namespace tavrel
