#include "ErrorBox.h"

#include "tavrel/qt/QtText.h"

#include <QApplication>
#include <QMessageBox>

namespace tavrel::editor {

namespace {

ErrorPresenter& Presenter() {
    static ErrorPresenter presenter;
    return presenter;
}

void ShowBox(const QString& caption, const QString& text) {
    QMessageBox box(QMessageBox::Critical, caption, text, QMessageBox::Ok,
                    QApplication::activeWindow());
    box.setObjectName(QStringLiteral("ErrorBox"));
    box.setDefaultButton(QMessageBox::Ok);
    box.setEscapeButton(QMessageBox::Ok);
    box.exec();
}

} // namespace

QString ErrorBoxText(const QString& message) {
    if (!message.isEmpty() && message.back() > QLatin1Char('.'))
        return message + QLatin1Char('.');
    return message;
}

QString ExceptionMessage(const std::exception& error) {
    return ToQString(error.what());
}

void ShowErrorMessage(const QString& message) {
    const QString caption = QApplication::applicationDisplayName();
    const QString text = ErrorBoxText(message);
    // A copy: the presenter may be replaced while its box is open.
    const ErrorPresenter presenter = Presenter();
    if (presenter)
        presenter(caption, text);
    else
        ShowBox(caption, text);
}

void ShowException(const std::exception& error) {
    ShowErrorMessage(ExceptionMessage(error));
}

void ShowCurrentException() {
    try {
        throw;
    } catch (const std::exception& error) {
        ShowException(error);
    } catch (...) {
        ShowErrorMessage(QStringLiteral("Unknown failure"));
    }
}

void SetErrorPresenter(ErrorPresenter presenter) {
    Presenter() = std::move(presenter);
}

} // namespace tavrel::editor
