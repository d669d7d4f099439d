#pragma once
// Test helper: saves a DicomWriter file into a temporary folder and loads one
// of its images through the stream and image classes, as the case loader does.
#include "DicomWriter.h"
#include "TDicomGraphic.h"
#include "TDicomStream.h"

#include <QTemporaryDir>

#include <functional>
#include <memory>
#include <string>

struct TestFolder {
    QTemporaryDir dir;
    // The folder with its trailing separator.
    std::string Folder() const { return dir.path().toStdString() + "/"; }
    std::string Path(const std::string& name) const { return dir.filePath(QString::fromStdString(name)).toStdString(); }
    std::string Save(const DicomWriter& w, const std::string& name = "f.dcm") const
    {
        const std::string path = Path(name);
        w.Save(path);
        return path;
    }
};

// Loads image n; prepare (if given) runs on the new image before the load.
inline std::unique_ptr<TDicomGraphic> LoadDicom(const DicomWriter& w, int n = 1,
                                                const std::function<void(TDicomGraphic&)>& prepare = {})
{
    TestFolder folder;
    TDicomStream stream(folder.Save(w));
    stream.ScanImages();
    auto image = std::make_unique<TDicomGraphic>();
    if (prepare)
        prepare(*image);
    image->LoadImage(stream, n);
    return image;
}

// The message of the exception that loading raises, or "no error".
inline std::string LoadError(const DicomWriter& w, int n = 1)
{
    try {
        LoadDicom(w, n);
    } catch (const std::exception& e) {
        return e.what();
    }
    return "no error";
}
