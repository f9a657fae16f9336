#pragma once

// Private to the Qt layer: what a server's Qt clients share in one application. Windows
// the application creates later outside every client tree (a parentless dialog, a message
// box without parent) become clients of their own when they are first shown, in the
// current language; and at every switch Qt's own translations (standard buttons, Qt's
// dialogs) follow the locale the new dictionary names.

#include <memory>
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
    // The locale whose Qt translations are installed ("" for none).
    const QString& QtLocale() const { return locale_; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    explicit QtWindowFollower(TOvkLocalizeServer& server);
    void Adopt(QWidget& window);
    void LoadQtTranslations();

    TOvkLocalizeServer* server_;
    std::unique_ptr<TComponent> watcher_;
    std::unique_ptr<QTranslator> translator_;
    QString locale_;
    int switchListener_ = 0;
    bool followWindows_ = true;
};

} // namespace tavrel
