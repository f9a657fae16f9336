#include "tavrel/qt/QtMessages.h"

#include "ServerGoneWatcher.h"
#include "tavrel/localize/TOvkLocalizeServer.h"
#include "tavrel/qt/QtBridgeMirror.h"
#include "tavrel/qt/QtText.h"

#include <algorithm>
#include <QLocale>
#include <QVariant>

namespace tavrel {

// Hears of the server's destruction: messages then show their keys.

QtMessages::QtMessages(TOvkLocalizeServer& server, QObject* parent)
    : QObject(parent), server_(&server),
      // Without a server, messages show their keys.
      watcher_(std::make_unique<ServerGoneWatcher>(server, [this] { server_ = nullptr; })) {
    server.FreeNotification(watcher_.get());
    switchListener_ = server.AddSwitchListener([this](TOvkLocalizeServer::TSwitchPhase phase) {
        if (phase == TOvkLocalizeServer::TSwitchPhase::End)
            RenderAll();
    });
    registerListener_ = server.AddRegisterListener([this] { Register(); });
}

QtMessages::~QtMessages() {
    for (Binding& binding : bindings_) {
        if (binding.Target && !binding.Property.isEmpty())
            MarkBound(*binding.Target, binding.Property, false);
    }
    if (server_ != nullptr) {
        server_->RemoveSwitchListener(switchListener_);
        server_->RemoveRegisterListener(registerListener_);
        server_->RemoveFreeNotification(watcher_.get());
    }
}

QString QtMessages::Fill(const QString& text, const QStringList& arguments,
                         std::optional<long long> count) {
    QString out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c != u'%' || i + 1 == text.size()) {
            out += c;
            continue;
        }
        const QChar next = text.at(i + 1);
        if (next == u'%') {
            out += u'%';
            ++i;
        } else if (next == u'n' && count) {
            out += QLocale().toString(*count);
            ++i;
        } else if (next.isDigit() && next != u'0') {
            // %1 to %99: the longest number that names an argument.
            int number = next.digitValue();
            qsizetype end = i + 2;
            if (end < text.size() && text.at(end).isDigit() &&
                number * 10 + text.at(end).digitValue() <= arguments.size()) {
                number = number * 10 + text.at(end).digitValue();
                ++end;
            }
            if (number <= arguments.size()) {
                out += arguments.at(number - 1);
                i = end - 1;
            } else {
                out += c; // no such argument: the placeholder stays visible
            }
        } else {
            out += c;
        }
    }
    return out;
}

QString QtMessages::Text(const QtMessage& message) {
    keys_.insert(message.Key);
    QString text = ToQString(message.Key);
    if (server_ != nullptr) {
        try {
            // The section Messages has no fall-back: an empty result means no translation.
            // A count picks the plural variant the current language's rules ask for.
            const std::string translated =
                message.Count
                    ? server_->TranslatePlural("Messages", message.Key, *message.Count, "")
                    : server_->TranslateText("Messages", message.Key, "");
            if (!translated.empty())
                text = ToQString(translated);
        } catch (const std::exception&) {
            // An unreadable dictionary leaves the message untranslated.
        }
    }
    return Fill(text, message.Arguments, message.Count);
}

void QtMessages::MarkBound(QObject& target, const QByteArray& property, bool bound) {
    QStringList names = target.property(kQtBoundProperty).toStringList();
    const QString name = QString::fromLatin1(property);
    names.removeAll(name);
    if (bound)
        names.append(name);
    target.setProperty(kQtBoundProperty, names.isEmpty() ? QVariant() : QVariant(names));
}

void QtMessages::Bind(QObject& target, const char* property, QtMessage message) {
    Unbind(target, property);
    MarkBound(target, property, true);
    bindings_.push_back({&target, QByteArray(property), {}, std::move(message)});
    Render(bindings_.back());
}

void QtMessages::Bind(QObject& context, std::function<void(const QString&)> show,
                      QtMessage message) {
    bindings_.push_back({&context, {}, std::move(show), std::move(message)});
    Render(bindings_.back());
}

void QtMessages::Unbind(QObject& target, const char* property) {
    const QByteArray name(property);
    std::erase_if(bindings_, [&](const Binding& binding) {
        return binding.Target == &target && binding.Property == name;
    });
    MarkBound(target, name, false);
}

void QtMessages::Render(Binding& binding) {
    const QString text = Text(binding.Message);
    if (!binding.Target)
        return;
    if (binding.Property.isEmpty())
        binding.Show(text);
    else
        binding.Target->setProperty(binding.Property.constData(), text);
}

void QtMessages::RenderAll() {
    std::erase_if(bindings_, [](const Binding& binding) { return binding.Target.isNull(); });
    // A render may run application code that binds or unbinds: render a copy.
    std::vector<Binding> bindings = bindings_;
    for (Binding& binding : bindings)
        Render(binding);
}

void QtMessages::Register() {
    if (server_ == nullptr)
        return;
    for (const std::string& key : keys_)
        server_->AddKeyToAll("Messages", key);
}

} // namespace tavrel
