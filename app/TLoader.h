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
    // missing) and stores it as the model's ActiveLoader.
    static TLoader* Start(TCaseModel& model, ILoaderClient& client, const std::string& folder,
                          const TLoadLimits& limits = TLoadLimits::Default());
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
    TLoader(TCaseModel& model, ILoaderClient& client, const std::string& folder, const TLoadLimits& limits);

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
    TStack* AppendStack(std::unique_ptr<TStack> stack);
    // Texts for a stack without a DICOM header of its own (PDF report, TIFF
    // series): the first DICOM series', else the case folder's names; the
    // first DICOM series also lends its texts to such stacks appended before it.
    void LendCaseTexts(TStack& added);
    // file: the single-image file the frame came from, for grouped stacks.
    void AppendFrame(TStack* stack, std::unique_ptr<TDibGraphic> image, const std::string& file = {});
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
    std::unique_ptr<TDecodePool> m_pool;
    uint64_t m_storeBytes = 0;   // pixel stores handed over so far
    bool m_memoryFull = false;   // the case budget is spent: no more images
    bool m_memoryTold = false;
    TThreadSync m_sync;
};
