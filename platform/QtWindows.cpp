#include "QtWindows.h"

#include <QApplication>
#include <QMessageBox>

#include "Host.h"
#include "QtHost.h"

namespace pellomar::platform {

void startWindowsApplication(DesktopKind kind) {
    if (QCoreApplication::instance() != nullptr) return;
    const QtArguments arguments = prepareApplication(kind);
    adoptApplication(new QApplication(arguments.argc, arguments.argv));
}

void requireWidgets() {
    if (qobject_cast<QApplication*>(QCoreApplication::instance()) != nullptr) return;
    // Only one application object can exist; the clipboard's is not needed after a box.
    const DesktopKind kind =
        QCoreApplication::instance() != nullptr ? applicationDesktop() : detectDesktop();
    stopApplication();
    startWindowsApplication(kind);
}

int execApplication() {
    return QCoreApplication::exec();
}

void showMessageBox(const ErrorRecord& record) {
    const std::string message = formatError(record);
    printDiagnostic(message);
    requireWidgets();
    QMessageBox box(QMessageBox::Critical, QString::fromUtf8(kAppTitle),
                    QString::fromStdString(message), QMessageBox::Ok);
    box.setDefaultButton(QMessageBox::Ok);  // Return
    box.setEscapeButton(QMessageBox::Ok);   // Escape
    box.setWindowModality(Qt::ApplicationModal);
    // A hotkey start has no window of its own for the box to sit on: keep it above the others
    // and give it the focus (the xcb platform sets the focus itself where no window manager
    // does it on request).
    box.setWindowFlag(Qt::WindowStaysOnTopHint);
    box.show();
    box.raise();
    box.activateWindow();
    box.exec();
}

void installMessageBox() {
    setErrorBox(showMessageBox);
}

}  // namespace pellomar::platform
