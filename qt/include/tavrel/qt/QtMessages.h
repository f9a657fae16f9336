#pragma once

// The application's own messages, the texts it builds in code ("3 files selected", "Saved
// notes.txt"), in the current language. A message is a key of the dictionary section
// Messages with placeholders: %1 ... %99 for arguments, %n for a count, %% for a percent
// sign. A missing translation shows the key itself.
//
//   tavrel::QtMessages messages(server);
//   statusBar()->showMessage(messages.Text("Saved %1", {fileName}));
//   messages.Bind(*selectionLabel, "text", {"%n files selected", {}, count});
//
// A bound message is shown again, with its arguments, after every switch; the engine then
// leaves the bound property alone, so neither the filled-in text nor the user's file name
// in it ever reaches a dictionary. Register mode (RegisterClientTexts) adds the key of
// every message used so far to every dictionary.

#include <functional>
#include <memory>
#include <optional>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <set>
#include <string>
#include <vector>

namespace tavrel {

class TComponent;
class TOvkLocalizeServer;

struct QtMessage {
    std::string Key;
    QStringList Arguments;
    std::optional<long long> Count; // fills %n
};

class QtMessages : public QObject {
    Q_OBJECT
public:
    explicit QtMessages(TOvkLocalizeServer& server, QObject* parent = nullptr);
    ~QtMessages() override;
    QtMessages(const QtMessages&) = delete;
    QtMessages& operator=(const QtMessages&) = delete;

    // The message in the current language, its placeholders filled.
    QString Text(const QtMessage& message);
    QString Text(const std::string& key, const QStringList& arguments = {}) {
        return Text(QtMessage{key, arguments, std::nullopt});
    }

    // Shows the message in the Qt property `property` of `target` (a QLabel's "text", a
    // window's "windowTitle", a widget's "toolTip"...) now and after every switch, until
    // it is bound again, unbound, or the target is destroyed.
    void Bind(QObject& target, const char* property, QtMessage message);
    // Shows the message through `show` now and after every switch while `context` lives
    // (a status bar's showMessage).
    void Bind(QObject& context, std::function<void(const QString&)> show, QtMessage message);
    void Unbind(QObject& target, const char* property);

    // The keys of the messages used so far.
    const std::set<std::string>& Keys() const { return keys_; }
    // Adds every key used so far to every dictionary (done by RegisterClientTexts too).
    void Register();

    // Fills a message's placeholders; `text` is the translated key.
    static QString Fill(const QString& text, const QStringList& arguments,
                        std::optional<long long> count);

private:
    struct Binding {
        QPointer<QObject> Target;
        QByteArray Property; // empty: Show
        std::function<void(const QString&)> Show;
        QtMessage Message;
    };
    void Render(Binding& binding);
    void RenderAll();
    static void MarkBound(QObject& target, const QByteArray& property, bool bound);

    TOvkLocalizeServer* server_;
    std::vector<Binding> bindings_;
    std::set<std::string> keys_;
    int switchListener_ = 0;
    int registerListener_ = 0;
    std::unique_ptr<TComponent> watcher_;
};

} // namespace tavrel
