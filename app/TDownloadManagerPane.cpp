#include "TDownloadManagerPane.h"

#include "Messages.h"

TDownloadManagerPane::TDownloadManagerPane(QWidget* parent) : TFTPList(parent)
{
    OnViewCase = [this] { PostMessage(window(), ViewCaseMessage); };
}
