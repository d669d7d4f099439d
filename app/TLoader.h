#pragma once
// The case loader: turns a case folder into the case model's stacks of
// decoded images, in a background thread at low priority, decoding on every
// core and handing the images over in order.
//
// Threads: Start() and Stop() are called on the UI thread. run() is the
// loader thread; it reads the folder, hands the decoding to its pool of
// workers (TDecodePool) and changes the case model only through synchronised
// calls that run on the UI thread while it waits. The workers never touch the
// model. The loader frees itself after LoaderDone; nothing may touch it
// afterwards (the case model's ActiveLoader is cleared by LoaderDone).
#include "TThreadSync.h"

#include <QThread>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class ILoaderClient;
class TCaseArrivals;
struct TCaseModel;
struct TStack;
class TDecodePool;
class TDibGraphic;
class TDicomGraphic;
class TDicomStream;
class TReadBuffer;

// How much pixel memory one case may take.
struct TLoadLimits {
    // Pixel-store bytes of the whole case.
    uint64_t caseBytes = 0;
    // Workers decoding at once.
    int workers = 1;
    // Half of the physical memory, at most 4 GiB; one worker per core.
    static TLoadLimits Default();
};

class TLoader : public QThread {
public:
    // Creates and starts a loader for folder (a trailing "/" is added when
    // missing) and stores it as the model's ActiveLoader. With arrivals (a
    // case that downloads), only files complete on disk are read: those
    // complete now, then each as it is told, until the download ends; every
    // stack and image goes where a load of the finished case puts it.
    static TLoader* Start(TCaseModel& model, ILoaderClient& client, const std::string& folder,
                          const TLoadLimits& limits = TLoadLimits::Default(),
                          std::shared_ptr<TCaseArrivals> arrivals = nullptr);
    // Sets the stop request of the model's ActiveLoader, if any, and waits for
    // its end while serving its synchronised calls.
    static void Stop(TCaseModel& model);

    const std::string& Folder() const { return m_folder; }

    // Pixel stores one file may decode to: 64 MiB, or 1,000 times the
    // file's size when that is more.
    static uint64_t FileStoreCap(uint64_t fileSize);

    ~TLoader() override;

protected:
    void run() override;

private:
    TLoader(TCaseModel& model, ILoaderClient& client, const std::string& folder, const TLoadLimits& limits,
            std::shared_ptr<TCaseArrivals> arrivals);

    // Where a stack goes in the model: the report, then the ".KF" files,
    // then the other files that each hold a series (these three in name
    // order), then the series of single images in the order of their first
    // image. The loader keeps one per stack, in the model's order.
    enum class TGroup { Report, Kf, WholeFile, Singles };
    struct TPlacement {
        TStack* stack = nullptr;
        TGroup group = TGroup::Report;
        std::string order;                   // file name, or the first sort line of a series
        std::vector<std::string> frameLines; // sort lines of a series' images, in order
    };

    // What the counting pass learnt about a file that the whole-file pass
    // would otherwise open again.
    enum class TKind { Unknown, NotDicom, Single, Multi };
    struct Entry {
        std::string name;
        std::string upperExt; // with the dot
        TKind kind = TKind::Unknown;
        std::string sortKey;  // of a single-image file
    };
    // One decoded image on its way to the hand-over.
    struct TDecoded {
        bool opened = false;            // the file opened as a DICOM stream
        std::string seriesKey;          // of a single-image file
        std::string file;               // the single-image file's path
        std::string line;               // its sort line
        std::unique_ptr<TStack> stack;  // its case texts, for a new stack
        std::unique_ptr<TDibGraphic> image;
        bool tooLarge = false;          // refused by the pixel-store limit
    };
    using TDecode = std::function<void(size_t index, TDecoded& result, TReadBuffer& buffer)>;
    // Returns false when no more images of the run are wanted.
    using THandOver = std::function<bool(TDecoded& result)>;

    // Loads image 1 of the stream into result; a refusal by the
    // pixel-store limit is told apart from other failures.
    static void Decode(std::unique_ptr<TDicomGraphic> image, TDicomStream& stream, TDecoded& result);
    std::vector<Entry> ListEntries() const;
    // The named files that are regular files, in name order.
    std::vector<Entry> EntriesOf(std::vector<std::string> names) const;
    // Loads what the download tells, batch by batch, until it ends.
    void Follow();
    // Every pass over one set of entries (all of them, or those just arrived).
    void LoadEntries(std::vector<Entry>& entries);
    bool Stopped() const { return m_memoryFull || isInterruptionRequested(); }
    void Run();
    void PdfPass(const std::vector<Entry>& entries);
    void CountingPass(std::vector<Entry>& entries);
    void KfPass(const std::vector<Entry>& entries);
    void WholeFilePass(const std::vector<Entry>& entries, std::vector<std::string>& sortList);
    void TiffStack(const std::string& path);
    void SingleImagePass(std::vector<std::string>& sortList);
    // A stack for a file that holds a whole series.
    void LoadFileStack(const std::string& name, bool examPresets);
    // Decodes count images on the pool and hands each over in order.
    void InOrder(size_t count, const TDecode& decode, const THandOver& handOver);
    // Puts a stack in its place (the end, when it is loaded in order).
    TStack* AppendStack(std::unique_ptr<TStack> stack, TGroup group, const std::string& order,
                        bool notify = false);
    size_t PlaceOf(TGroup group, const std::string& order) const;
    TPlacement* PlacementOf(const TStack* stack);
    // A series whose first sort line became line moves to its place.
    void Reorder(TPlacement& placement, const std::string& line);
    // Texts for a stack without a DICOM header of its own (PDF report, TIFF
    // series): the first DICOM series', else the case folder's names; the
    // first DICOM series also lends its texts to such stacks placed before it.
    void LendCaseTexts(TStack& added);
    void AppendFrame(TStack* stack, std::unique_ptr<TDibGraphic> image);
    // An image of a series grouped from single-image files goes where its
    // sort line puts it; file: the file it came from.
    void InsertFrame(TStack* stack, std::unique_ptr<TDibGraphic> image, const std::string& line,
                     const std::string& file);
    // Counts an image's pixel store against the case budget and the file's
    // cap; false (and the user told once) when it does not fit.
    bool Admit(const TDibGraphic& image, uint64_t& fileBytes, uint64_t fileCap);
    // The pixel-store bytes an image decoded now may take.
    uint64_t StoreLimit(uint64_t fileBytes, uint64_t fileCap) const;
    void TellNotEnoughMemory();

    TCaseModel& m_model;
    ILoaderClient& m_client;
    std::string m_folder;
    TLoadLimits m_limits;
    std::vector<std::string> m_preview;
    bool m_counting = false;     // the counting pass has begun
    std::shared_ptr<TCaseArrivals> m_arrivals;
    std::vector<TPlacement> m_placed;
    std::unique_ptr<TDecodePool> m_pool;
    uint64_t m_storeBytes = 0;   // pixel stores handed over so far
    bool m_memoryFull = false;   // the case budget is spent: no more images
    bool m_memoryTold = false;
    TThreadSync m_sync;
};
