#pragma once
// Stands in for the download manager pane where the viewer is built without
// the remote-case subsystem: it explains how to open a case folder.
// UI thread only.
#include "IDownloadManager.h"

#include <QWidget>

class TDownloadPlaceholder : public QWidget, public IDownloadManager {
public:
    explicit TDownloadPlaceholder(QWidget* parent = nullptr);

    QWidget* Widget() override { return this; }
    bool Initialised() const override { return m_initialised; }
    void FormCreate() override { m_initialised = true; }
    QString HostName() const override { return "Local cases"; }
    void RefreshList() override {}
    void LogOnWhenNeeded() override {}
    std::string SelectedCaseFolder() const override { return m_selected; }
    void FormDestroy() override {}

    // The folder that the next ViewCaseMessage opens.
    void SetSelectedCaseFolder(const std::string& folder) { m_selected = folder; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    bool m_initialised = false;
    std::string m_selected;
};
