#include "SupportLog.h"
#include "TLoader.h"

#include "CaseTexts.h"
#include "ILoaderClient.h"
#include "ReadExamInfo.h"
#include "TCaseModel.h"
#include "TDecodePool.h"
#include "TDicomGraphic.h"
#include "TDicomStream.h"
#include "TTiffGraphic.h"
#include "ThreadPriority.h"
#include "TTiffPageWalk.h"

#include <QByteArray>

#include <algorithm>
#include <atomic>
#include <limits>
#include <deque>
#include <dirent.h>
#include <exception>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr uint64_t kMiB = 1024 * 1024;
constexpr uint64_t kMaxCaseBytes = 4096 * kMiB;
constexpr uint64_t kFileCapFloor = 64 * kMiB;
constexpr uint64_t kFileCapFactor = 1000;
// Images decoded ahead of the hand-over, per worker: enough to keep every
// core busy while the UI thread takes one, few enough to bound the memory.
constexpr size_t kAheadPerWorker = 3;

std::string Upper(const std::string& s) { return QByteArray::fromStdString(s).toUpper().toStdString(); }

bool IsKf(const std::string& upperExt) { return upperExt.compare(0, 3, ".KF") == 0; }

bool LessIgnoringCase(const std::string& a, const std::string& b)
{
    const int c = strcasecmp(a.c_str(), b.c_str());
    return c < 0 || (c == 0 && a < b);
}

uint64_t StoreBytes(const TDibGraphic& image) { return image.HeldBytes(); }

} // namespace

TLoadLimits TLoadLimits::Default()
{
    TLoadLimits limits;
    const long pages = ::sysconf(_SC_PHYS_PAGES);
    const long pageSize = ::sysconf(_SC_PAGESIZE);
    const uint64_t physical = pages > 0 && pageSize > 0 ? uint64_t(pages) * uint64_t(pageSize) : kMaxCaseBytes * 2;
    limits.caseBytes = std::min(physical / 2, kMaxCaseBytes);
    limits.workers = TDecodePool::DefaultWorkers();
    return limits;
}

void TLoader::Decode(std::unique_ptr<TDicomGraphic> image, TDicomStream& stream, TDecoded& result)
{
    try {
        image->LoadImage(stream, 1);
    } catch (const EImageTooLarge&) {
        result.tooLarge = true;
        return;
    }
    result.image = std::move(image);
}

uint64_t TLoader::FileStoreCap(uint64_t fileSize) { return std::max(kFileCapFloor, kFileCapFactor * fileSize); }

TLoader::TLoader(TCaseModel& model, ILoaderClient& client, const std::string& folder, const TLoadLimits& limits)
    : m_model(model), m_client(client), m_folder(folder), m_limits(limits)
{
    if (m_folder.empty() || m_folder.back() != '/')
        m_folder += '/';
}

TLoader::~TLoader() = default;

TLoader* TLoader::Start(TCaseModel& model, ILoaderClient& client, const std::string& folder, const TLoadLimits& limits)
{
    auto* loader = new TLoader(model, client, folder, limits);
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
    // The file system's own order; only regular files (also behind a
    // symbolic link): folders, pipes, sockets and devices are passed over.
    std::vector<Entry> entries;
    DIR* dir = ::opendir(m_folder.c_str());
    if (!dir)
        return entries;
    while (dirent* d = ::readdir(dir)) {
        const std::string name = d->d_name;
        if (name == "." || name == "..")
            continue;
        bool regular = d->d_type == DT_REG;
        if (d->d_type == DT_UNKNOWN || d->d_type == DT_LNK) {
            struct stat st {};
            regular = ::stat((m_folder + name).c_str(), &st) == 0 && S_ISREG(st.st_mode);
        }
        if (!regular)
            continue;
        const size_t dot = name.rfind('.');
        entries.push_back({name, dot == std::string::npos ? std::string() : Upper(name.substr(dot)), TKind::Unknown, {}});
    }
    ::closedir(dir);
    return entries;
}

void TLoader::run()
{
    LowerThreadPriority();
    try {
        m_pool = std::make_unique<TDecodePool>(m_limits.workers);
        Run();
        qCDebug(lcLoader) << "loader: done";
    } catch (const std::exception& e) {
        // A failure that ends the loader is not reported, but logged.
        qCDebug(lcLoader) << "loader: ended by" << e.what();
    } catch (...) {
    }
    m_pool.reset();
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
    std::vector<Entry> entries = ListEntries();
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
    m_sync.Synchronize([&] {
        m_model.Stacks.push_back(std::move(stack));
        LendCaseTexts(*s);
    });
    return s;
}

void TLoader::LendCaseTexts(TStack& added)
{
    const auto lender = std::find_if(m_model.Stacks.begin(), m_model.Stacks.end(),
                                     [](const std::unique_ptr<TStack>& s) { return s->DicomTexts; });
    if (!added.DicomTexts) {
        if (lender != m_model.Stacks.end())
            CopyCaseTexts(**lender, added);
        else
            FillFolderCaseTexts(added, m_folder);
        return;
    }
    if (lender->get() != &added)
        return; // not the first DICOM series: the others have their texts
    for (const auto& s : m_model.Stacks)
        if (!s->DicomTexts)
            CopyCaseTexts(added, *s);
}

void TLoader::AppendFrame(TStack* stack, std::unique_ptr<TDibGraphic> image, const std::string& file)
{
    // The append and its notification take effect together; once appended,
    // an image stays even when the notification fails.
    try {
        m_sync.Synchronize([&] {
            stack->FrameList.push_back(std::move(image));
            if (!file.empty())
                stack->FrameFiles.push_back(file);
            m_client.FrameAdded();
        });
    } catch (...) {
    }
}

void TLoader::TellNotEnoughMemory()
{
    if (m_memoryTold)
        return;
    m_memoryTold = true;
    try {
        m_sync.Synchronize([this] { m_client.NotEnoughMemory(); });
    } catch (...) {
    }
}

uint64_t TLoader::StoreLimit(uint64_t fileBytes, uint64_t fileCap) const
{
    const uint64_t caseLeft = m_limits.caseBytes > m_storeBytes ? m_limits.caseBytes - m_storeBytes : 0;
    const uint64_t fileLeft = fileCap > fileBytes ? fileCap - fileBytes : 0;
    return std::min(caseLeft, fileLeft);
}

bool TLoader::Admit(const TDibGraphic& image, uint64_t& fileBytes, uint64_t fileCap)
{
    const uint64_t bytes = StoreBytes(image);
    if (m_storeBytes + bytes > m_limits.caseBytes) {
        m_memoryFull = true; // what is loaded stays; nothing more is added
        TellNotEnoughMemory();
        return false;
    }
    if (fileBytes + bytes > fileCap) {
        TellNotEnoughMemory();
        return false;
    }
    m_storeBytes += bytes;
    fileBytes += bytes;
    return true;
}

void TLoader::InOrder(size_t count, const TDecode& decode, const THandOver& handOver)
{
    struct TJob {
        std::shared_ptr<TDecodePool::TTicket> ticket;
        std::shared_ptr<TDecoded> result;
    };
    std::deque<TJob> inFlight;
    const size_t ahead = kAheadPerWorker * size_t(m_pool->Workers());
    size_t next = 0;
    while (!Stopped() && (next < count || !inFlight.empty())) {
        for (; next < count && inFlight.size() < ahead; ++next) {
            auto result = std::make_shared<TDecoded>();
            const size_t index = next;
            auto ticket = m_pool->Submit([&decode, index, result](TReadBuffer& buffer) {
                try {
                    decode(index, *result, buffer);
                } catch (...) {
                    result->image.reset(); // a failed decode discards the image
                }
            });
            inFlight.push_back({std::move(ticket), std::move(result)});
        }
        TJob job = std::move(inFlight.front());
        inFlight.pop_front();
        m_pool->Wait(*job.ticket);
        if (Stopped() || !handOver(*job.result))
            break;
    }
    // Queued work is dropped; the decodes running now finish their image.
    for (TJob& job : inFlight)
        m_pool->Withdraw(job.ticket);
}

void TLoader::PdfPass(const std::vector<Entry>& entries)
{
    for (const Entry& e : entries) {
        if (e.upperExt != ".PDF")
            continue;
        auto stack = std::make_unique<TStack>();
        stack->Source = m_folder + e.name;
        TStack* s = stack.get();
        m_sync.Synchronize([&] {
            m_model.Stacks.push_back(std::move(stack));
            LendCaseTexts(*s);
            m_client.FrameAdded();
        });
        return;
    }
}

void TLoader::CountingPass(std::vector<Entry>& entries)
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
    // Only the head of each file is read: the element headers are there.
    TReadBuffer buffer;
    for (Entry& e : entries) {
        if (Stopped())
            break;
        if (e.upperExt == ".PDF" || e.upperExt == ".TIF") {
            m_preview.push_back(e.name);
            notify();
            continue;
        }
        try {
            TDicomStream stream(m_folder + e.name, buffer, TDicomExtent::Headers);
            if (stream.HasItems || IsKf(e.upperExt)) {
                e.kind = TKind::Multi;
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
            // What the whole-file pass needs of it, from the same reading.
            stream.ScanImages();
            e.kind = stream.HasItems ? TKind::Multi : TKind::Single;
            if (e.kind == TKind::Single)
                e.sortKey = ImageSortKey(stream, e.name);
        } catch (...) {
            e.kind = TKind::NotDicom; // not counted
        }
        buffer.Trim();
    }
    m_preview.clear();
    m_preview.shrink_to_fit();
}

void TLoader::KfPass(const std::vector<Entry>& entries)
{
    for (const Entry& e : entries) {
        if (Stopped())
            return;
        if (IsKf(e.upperExt) && e.kind != TKind::NotDicom)
            LoadFileStack(e.name, false);
    }
}

void TLoader::LoadFileStack(const std::string& name, bool examPresets)
{
    std::unique_ptr<TDicomStream> stream;
    try {
        stream = std::make_unique<TDicomStream>(m_folder + name);
        stream->ScanImages();
    } catch (...) {
        return; // not a DICOM file
    }
    auto made = std::make_unique<TStack>();
    made->Source = m_folder + name;
    FillCaseTexts(*made, *stream);
    TStack* stack = AppendStack(std::move(made));

    // Every image is decoded from the one reading of the file: each worker
    // walks the same bytes with a stream of its own.
    int64_t size = stream->Size();
    const uint8_t* data = stream->Bytes(0, size);
    const TDicomImageList& images = stream->ImageList;
    const uint64_t fileCap = FileStoreCap(uint64_t(size));
    uint64_t fileBytes = 0;
    std::atomic<uint64_t> limit = StoreLimit(fileBytes, fileCap);
    InOrder(
        size_t(images.Count()),
        [&, data, size](size_t index, TDecoded& result, TReadBuffer&) {
            auto image = std::make_unique<TDicomGraphic>();
            if (examPresets)
                ReadExamInfo(*image, m_folder, name, int(index) + 1);
            TDicomStream own(data, size_t(size));
            own.ImageList.Assign({images.Items()[index]});
            image->SetStoreLimit(limit);
            Decode(std::move(image), own, result);
        },
        [&](TDecoded& result) {
            if (result.tooLarge) {
                TellNotEnoughMemory();
                return false; // the rest of this file is not loaded
            }
            if (!result.image)
                return true; // discarded; the next image still loads
            if (!Admit(*result.image, fileBytes, fileCap))
                return false;
            limit = StoreLimit(fileBytes, fileCap);
            AppendFrame(stack, std::move(result.image));
            return true;
        });
}

void TLoader::WholeFilePass(const std::vector<Entry>& entries, std::vector<std::string>& sortList)
{
    for (const Entry& e : entries) {
        if (Stopped())
            return;
        if (e.upperExt == ".PDF" || IsKf(e.upperExt) || e.kind == TKind::NotDicom)
            continue;
        if (e.upperExt == ".TIF") {
            TiffStack(m_folder + e.name);
            continue;
        }
        if (e.kind == TKind::Single) {
            sortList.push_back(e.sortKey);
            continue;
        }
        if (e.kind == TKind::Unknown) {
            // Not looked at by the counting pass.
            try {
                TDicomStream stream(m_folder + e.name);
                stream.ScanImages();
                if (!stream.HasItems) {
                    sortList.push_back(ImageSortKey(stream, e.name));
                    continue;
                }
            } catch (...) {
                continue;
            }
        }
        LoadFileStack(e.name, true);
    }
}

void TLoader::TiffStack(const std::string& path)
{
    // A TIFF file that cannot be read, or whose pages cannot be walked, is
    // passed over (its stack, once appended, stays); the load goes on.
    std::unique_ptr<TFileStream> file;
    try {
        file = std::make_unique<TFileStream>(path, fmOpenRead | fmShareDenyNone);
    } catch (...) {
        return;
    }
    auto made = std::make_unique<TStack>();
    made->Source = path;
    TStack* stack = AppendStack(std::move(made));
    std::unique_ptr<TTiffPageWalk> walk;
    try {
        walk = std::make_unique<TTiffPageWalk>(*file);
    } catch (...) {
        return;
    }
    const uint64_t fileCap = FileStoreCap(uint64_t(std::max<int64_t>(0, file->Size())));
    uint64_t fileBytes = 0;
    // Pages in file order on one handle: each directory is read once.
    do {
        if (Stopped())
            return;
        auto page = std::make_unique<TTiffGraphic>();
        try {
            walk->Read(*page);
        } catch (...) {
            continue;
        }
        if (!Admit(*page, fileBytes, fileCap))
            return;
        AppendFrame(stack, std::move(page));
    } while (walk->Next());
}

void TLoader::SingleImagePass(std::vector<std::string>& sortList)
{
    std::sort(sortList.begin(), sortList.end(), LessIgnoringCase);
    InOrder(
        sortList.size(),
        [this, &sortList](size_t index, TDecoded& result, TReadBuffer& buffer) {
            const std::string& line = sortList[index];
            const std::string path = m_folder + line.substr(line.find('|') + 1);
            std::unique_ptr<TDicomStream> stream;
            try {
                stream = std::make_unique<TDicomStream>(path, buffer);
                stream->ScanImages();
            } catch (...) {
                return; // vanished or no longer DICOM: passed over
            }
            result.opened = true;
            result.file = path;
            result.seriesKey = SeriesKey(*stream);
            result.stack = std::make_unique<TStack>();
            FillCaseTexts(*result.stack, *stream);
            auto image = std::make_unique<TDicomGraphic>();
            image->SetStoreLimit(FileStoreCap(uint64_t(stream->Size())));
            Decode(std::move(image), *stream, result);
        },
        [this](TDecoded& result) {
            if (!result.opened)
                return true;
            TStack* stack = nullptr;
            for (auto it = m_model.Stacks.rbegin(); it != m_model.Stacks.rend(); ++it) {
                if ((*it)->Source == result.seriesKey) {
                    stack = it->get();
                    break;
                }
            }
            if (!stack) {
                result.stack->Source = result.seriesKey;
                stack = AppendStack(std::move(result.stack));
            }
            if (result.tooLarge)
                TellNotEnoughMemory();
            if (!result.image)
                return true;
            uint64_t fileBytes = 0;
            if (!Admit(*result.image, fileBytes, std::numeric_limits<uint64_t>::max()))
                return !m_memoryFull;
            AppendFrame(stack, std::move(result.image), result.file);
            return true;
        });
}
