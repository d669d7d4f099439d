#include "TApplication.h"

#include "Exception.h"
#include "Program.h"

#include <QMessageBox>

#include <exception>

std::function<void(const QString&)> TApplication::ShowException = [](const QString& message) {
    QMessageBox::critical(QApplication::activeWindow(), ApplicationTitle(), message);
};

TApplication::TApplication(int& argc, char** argv) : QApplication(argc, argv) {}

void TApplication::HandleException()
{
    try {
        throw;
    } catch (const EAbort&) {
        // quiet by design
    } catch (const Exception& e) {
        ShowException(QString::fromStdString(e.Message()));
    } catch (const std::exception& e) {
        ShowException(QString::fromLocal8Bit(e.what()));
    } catch (...) {
        ShowException("Unknown error.");
    }
}

bool TApplication::notify(QObject* receiver, QEvent* event)
{
    try {
        return QApplication::notify(receiver, event);
    } catch (...) {
        HandleException();
        return false;
    }
}
