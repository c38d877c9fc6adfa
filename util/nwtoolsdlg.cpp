// The message boxes and the input query: the only parts of the text utilities
// that need the widget toolkit.
#include "util/nwdialogs.h"
#include "util/nwtools.h"

#include <QApplication>
#include <QCursor>
#include <QGuiApplication>
#include <QInputDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QValidator>

#include <utility>

namespace {

MessageBoxHook& BoxHook()
{
    static MessageBoxHook hook;
    return hook;
}

InputQueryHook& QueryHook()
{
    static InputQueryHook hook;
    return hook;
}

// Shows the arrow cursor while a box is up (the caller may have set an hour
// glass) and puts the previous cursor back afterwards.
class DefaultCursorScope {
public:
    DefaultCursorScope() : active_(qobject_cast<QGuiApplication*>(QCoreApplication::instance()) != nullptr)
    {
        if (active_)
            QGuiApplication::setOverrideCursor(QCursor(Qt::ArrowCursor));
    }
    ~DefaultCursorScope()
    {
        if (active_)
            QGuiApplication::restoreOverrideCursor();
    }
    DefaultCursorScope(const DefaultCursorScope&) = delete;
    DefaultCursorScope& operator=(const DefaultCursorScope&) = delete;

private:
    bool active_;
};

void ShowBox(bool isError, const std::string& message)
{
    const std::string text = ReplaceText(message, ";", "\n");
    DefaultCursorScope cursor;
    if (BoxHook()) {
        BoxHook()(isError, text);
        return;
    }
    // Without a widget application there is nowhere to show the box.
    if (qobject_cast<QApplication*>(QCoreApplication::instance()) == nullptr)
        return;
    QMessageBox box(isError ? QMessageBox::Critical : QMessageBox::Information,
                    isError ? QCoreApplication::translate("NWTools", "Error")
                            : QCoreApplication::translate("NWTools", "Information"),
                    QString::fromLocal8Bit(text.data(), static_cast<qsizetype>(text.size())),
                    isError ? QMessageBox::Cancel : QMessageBox::Ok,
                    QApplication::activeWindow());
    box.exec();
}

}  // namespace

void ShowInfo(const std::string& message)
{
    ShowBox(false, message);
}

void ShowError(const std::string& message)
{
    ShowBox(true, message);
}

void SetMessageBoxHook(MessageBoxHook hook)
{
    BoxHook() = std::move(hook);
}

namespace {

// Refuses a text longer than the client's area once in its 8-bit encoding.
class ByteLimit : public QValidator {
public:
    ByteLimit(int maxBytes, QObject* parent) : QValidator(parent), maxBytes_(maxBytes) {}

    State validate(QString& input, int&) const override
    {
        QByteArray bytes = input.toLocal8Bit();
        const bool fits = bytes.size() <= maxBytes_;
        bytes.fill('\0');  // may be a password
        return fits ? Acceptable : Invalid;
    }

private:
    int maxBytes_;
};

bool RunInputQuery(const QString& caption, const QString& prompt, QString& value, QLineEdit::EchoMode echo,
                   int maxBytes)
{
    if (QueryHook())
        return QueryHook()(caption, prompt, value);
    if (qobject_cast<QApplication*>(QCoreApplication::instance()) == nullptr)
        return false;
    QInputDialog dialog(QApplication::activeWindow());
    dialog.setWindowTitle(caption);
    dialog.setLabelText(prompt);
    dialog.setTextEchoMode(echo);
    dialog.setTextValue(value);
    if (auto* field = dialog.findChild<QLineEdit*>(); field != nullptr && maxBytes > 0)
        field->setValidator(new ByteLimit(maxBytes, field));
    if (dialog.exec() != QDialog::Accepted)
        return false;
    value = dialog.textValue();
    return true;
}

}  // namespace

bool InputQuery(const QString& caption, const QString& prompt, QString& value, int maxBytes)
{
    return RunInputQuery(caption, prompt, value, QLineEdit::Normal, maxBytes);
}

bool InputQueryPassword(const QString& caption, const QString& prompt, QString& value, int maxBytes)
{
    return RunInputQuery(caption, prompt, value, QLineEdit::Password, maxBytes);
}

void SetInputQueryHook(InputQueryHook hook)
{
    QueryHook() = std::move(hook);
}
