#include "TLoader.h"

#include "CaseTexts.h"
#include "ILoaderClient.h"
#include "TCaseModel.h"
#include "ReadExamInfo.h"
#include "TDicomGraphic.h"
#include "TDicomStream.h"
#include "TTiffGraphic.h"
#include "TTiffPageWalk.h"

#include <QByteArray>

#include <algorithm>
#include <dirent.h>
#include <strings.h>
#include <sys/stat.h>

namespace {

std::string Upper(const std::string& s) { return QByteArray::fromStdString(s).toUpper().toStdString(); }

bool IsKf(const std::string& upperExt) { return upperExt.compare(0, 3, ".KF") == 0; }

bool LessIgnoringCase(const std::string& a, const std::string& b)
{
    const int c = strcasecmp(a.c_str(), b.c_str());
    return c < 0 || (c == 0 && a < b);
}

} // namespace

TLoader::TLoader(TCaseModel& model, ILoaderClient& client, const std::string& folder)
    : m_model(model), m_client(client), m_folder(folder)
{
    if (m_folder.empty() || m_folder.back() != '/')
        m_folder += '/';
}

TLoader* TLoader::Start(TCaseModel& model, ILoaderClient& client, const std::string& folder)
{
    auto* loader = new TLoader(model, client, folder);
    QObject::connect(loader, &QThread::finished, loader, &QObject::deleteLater);
    model.ActiveLoader = loader;
    loader->start(QThread::LowPriority);
    return loader;
}

void TLoader::Stop(TCaseModel& model)
{
    TLoader* loader = model.ActiveLoader;
    if (!loader)
        return;
    loader->requestInterruption();
    loader->m_sync.WaitFor(loader);
}

std::vector<TLoader::Entry> TLoader::ListEntries() const
{
    // The file system's own order, directories left out.
    std::vector<Entry> entries;
    DIR* dir = ::opendir(m_folder.c_str());
    if (!dir)
        return entries;
    while (dirent* d = ::readdir(dir)) {
        const std::string name = d->d_name;
        if (name == "." || name == "..")
            continue;
        bool isDir = d->d_type == DT_DIR;
        if (d->d_type == DT_UNKNOWN || d->d_type == DT_LNK) {
            struct stat st {};
            isDir = ::stat((m_folder + name).c_str(), &st) == 0 && S_ISDIR(st.st_mode);
        }
        if (isDir)
            continue;
        const size_t dot = name.rfind('.');
        entries.push_back({name, dot == std::string::npos ? std::string() : Upper(name.substr(dot))});
    }
    ::closedir(dir);
    return entries;
}

void TLoader::run()
{
    try {
        Run();
    } catch (...) {
        // A failure that ends the loader is not reported.
    }
    try {
        m_sync.Synchronize([this] {
            m_model.ActiveLoader = nullptr;
            m_client.LoaderDone();
        });
    } catch (...) {
        // The end notification's own failure has nowhere to go.
    }
}

void TLoader::Run()
{
    const std::vector<Entry> entries = ListEntries();
    PdfPass(entries);
    CountingPass(entries);
    KfPass(entries);
    std::vector<std::string> sortList;
    WholeFilePass(entries, sortList);
    SingleImagePass(sortList);
}

TStack* TLoader::AppendStack(std::unique_ptr<TStack> stack)
{
    TStack* s = stack.get();
    m_sync.Synchronize([&] { m_model.Stacks.push_back(std::move(stack)); });
    return s;
}

void TLoader::AppendFrame(TStack* stack, std::unique_ptr<TDibGraphic> image)
{
    // The append and its notification take effect together; once appended,
    // an image stays even when the notification fails.
    try {
        m_sync.Synchronize([&] {
            stack->FrameList.push_back(std::move(image));
            m_client.FrameAdded();
        });
    } catch (...) {
    }
}

void TLoader::PdfPass(const std::vector<Entry>& entries)
{
    for (const Entry& e : entries) {
        if (e.upperExt != ".PDF")
            continue;
        auto stack = std::make_unique<TStack>();
        stack->Source = m_folder + e.name;
        m_sync.Synchronize([&] {
            m_model.Stacks.push_back(std::move(stack));
            m_client.FrameAdded();
        });
        return;
    }
}

void TLoader::CountingPass(const std::vector<Entry>& entries)
{
    auto notify = [this] {
        const int count = int(m_preview.size());
        try {
            m_sync.Synchronize([&] { m_client.PreviewChanged(count); });
        } catch (...) {
        }
    };
    m_preview.clear();
    notify();
    for (const Entry& e : entries) {
        if (Stopped())
            break;
        if (e.upperExt == ".PDF" || e.upperExt == ".TIF") {
            m_preview.push_back(e.name);
            notify();
            continue;
        }
        try {
            TDicomStream stream(m_folder + e.name);
            if (stream.HasItems || IsKf(e.upperExt)) {
                m_preview.push_back(e.name);
                notify();
                continue;
            }
            const std::string key = SeriesKey(stream);
            const bool known = std::any_of(m_preview.begin(), m_preview.end(),
                                           [&](const std::string& p) { return strcasecmp(p.c_str(), key.c_str()) == 0; });
            if (!known) {
                m_preview.push_back(key);
                notify();
            }
        } catch (...) {
            // Not a DICOM file: not counted.
        }
    }
    m_preview.clear();
    m_preview.shrink_to_fit();
}

void TLoader::KfPass(const std::vector<Entry>& entries)
{
    for (const Entry& e : entries) {
        if (Stopped())
            return;
        if (!IsKf(e.upperExt))
            continue;
        std::unique_ptr<TDicomStream> stream;
        try {
            stream = std::make_unique<TDicomStream>(m_folder + e.name);
            stream->ScanImages();
        } catch (...) {
            continue;
        }
        if (!LoadFileStack(*stream, e.name, false))
            return;
    }
}

bool TLoader::LoadFileStack(TDicomStream& stream, const std::string& name, bool examPresets)
{
    auto made = std::make_unique<TStack>();
    made->Source = m_folder + name;
    FillCaseTexts(*made, stream);
    TStack* stack = AppendStack(std::move(made));
    for (int n = 1; n <= stream.ImageList.Count(); ++n) {
        if (Stopped())
            return false;
        auto image = std::make_unique<TDicomGraphic>();
        try {
            if (examPresets)
                ReadExamInfo(*image, m_folder, name, n);
            image->LoadImage(stream, n);
        } catch (...) {
            continue;
        }
        AppendFrame(stack, std::move(image));
    }
    return true;
}

void TLoader::WholeFilePass(const std::vector<Entry>& entries, std::vector<std::string>& sortList)
{
    for (const Entry& e : entries) {
        if (Stopped())
            return;
        if (e.upperExt == ".PDF" || IsKf(e.upperExt))
            continue;
        const std::string path = m_folder + e.name;
        if (e.upperExt == ".TIF") {
            // An unreadable TIFF file or page count ends the loader.
            TFileStream file(path, fmOpenRead | fmShareDenyNone);
            auto made = std::make_unique<TStack>();
            made->Source = path;
            TStack* stack = AppendStack(std::move(made));
            // Pages in file order on one handle: each directory is read once.
            TTiffPageWalk walk(file);
            do {
                if (Stopped())
                    return;
                auto page = std::make_unique<TTiffGraphic>();
                try {
                    walk.Read(*page);
                } catch (...) {
                    continue;
                }
                AppendFrame(stack, std::move(page));
            } while (walk.Next());
            continue;
        }
        std::unique_ptr<TDicomStream> stream;
        try {
            stream = std::make_unique<TDicomStream>(path);
            stream->ScanImages();
        } catch (...) {
            continue;
        }
        if (!stream->HasItems) {
            sortList.push_back(ImageSortKey(*stream, e.name));
            continue;
        }
        if (!LoadFileStack(*stream, e.name, true))
            return;
    }
}

void TLoader::SingleImagePass(std::vector<std::string>& sortList)
{
    std::sort(sortList.begin(), sortList.end(), LessIgnoringCase);
    for (const std::string& line : sortList) {
        if (Stopped())
            return;
        const std::string name = line.substr(line.find('|') + 1);
        // A file that no longer opens ends the loader.
        TDicomStream stream(m_folder + name);
        stream.ScanImages();
        const std::string key = SeriesKey(stream);
        TStack* stack = nullptr;
        for (auto it = m_model.Stacks.rbegin(); it != m_model.Stacks.rend(); ++it) {
            if ((*it)->Source == key) {
                stack = it->get();
                break;
            }
        }
        if (!stack) {
            auto made = std::make_unique<TStack>();
            made->Source = key;
            FillCaseTexts(*made, stream);
            stack = AppendStack(std::move(made));
        }
        auto image = std::make_unique<TDicomGraphic>();
        try {
            image->LoadImage(stream, 1);
        } catch (...) {
            continue;
        }
        AppendFrame(stack, std::move(image));
    }
}
