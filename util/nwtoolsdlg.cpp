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
                    isError ? QStringLiteral("Error") : QStringLiteral("Information"),
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

bool RunInputQuery(const QString& caption, const QString& prompt, QString& value, QLineEdit::EchoMode echo)
{
    if (QueryHook())
        return QueryHook()(caption, prompt, value);
    if (qobject_cast<QApplication*>(QCoreApplication::instance()) == nullptr)
        return false;
    bool ok = false;
    const QString typed = QInputDialog::getText(QApplication::activeWindow(), caption, prompt, echo, value, &ok);
    if (ok)
        value = typed;
    return ok;
}

}  // namespace

bool InputQuery(const QString& caption, const QString& prompt, QString& value)
{
    return RunInputQuery(caption, prompt, value, QLineEdit::Normal);
}

bool InputQueryPassword(const QString& caption, const QString& prompt, QString& value)
{
    return RunInputQuery(caption, prompt, value, QLineEdit::Password);
}

void SetInputQueryHook(InputQueryHook hook)
{
    QueryHook() = std::move(hook);
}
