#include "QtWindows.h"

#include <QApplication>
#include <QMessageBox>

#include "Desktop.h"
#include "Diagnostics.h"
#include "QtHost.h"
#include "RequestScope.h"

namespace pellomar::platform {

void showMessageBox(const ErrorRecord& record) {
    const std::string message = formatError(record);
    printDiagnostic(message);
    startApplication(detectDesktop());
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
