#pragma once
// The case loader: turns a case folder into the case model's stacks of
// decoded images, in a background thread at low priority.
//
// Threads: Start() and Stop() are called on the UI thread. run() is the
// loader thread; it reads the folder and decodes, and changes the case model
// only through synchronised calls that run on the UI thread while it waits.
// The loader frees itself after LoaderDone; nothing may touch it afterwards
// (the case model's ActiveLoader is cleared by LoaderDone).
#include "TThreadSync.h"

#include <QThread>

#include <string>
#include <vector>

class ILoaderClient;
struct TCaseModel;
struct TStack;
class TDibGraphic;
class TDicomStream;

class TLoader : public QThread {
public:
    // Creates and starts a loader for folder (a trailing "/" is added when
    // missing) and stores it as the model's ActiveLoader.
    static TLoader* Start(TCaseModel& model, ILoaderClient& client, const std::string& folder);
    // Sets the stop request of the model's ActiveLoader, if any, and waits for
    // its end while serving its synchronised calls.
    static void Stop(TCaseModel& model);

    const std::string& Folder() const { return m_folder; }

protected:
    void run() override;

private:
    TLoader(TCaseModel& model, ILoaderClient& client, const std::string& folder);

    struct Entry {
        std::string name;
        std::string upperExt; // with the dot
    };
    std::vector<Entry> ListEntries() const;
    bool Stopped() const { return isInterruptionRequested(); }
    void Run();
    void PdfPass(const std::vector<Entry>& entries);
    void CountingPass(const std::vector<Entry>& entries);
    void KfPass(const std::vector<Entry>& entries);
    void WholeFilePass(const std::vector<Entry>& entries, std::vector<std::string>& sortList);
    void SingleImagePass(std::vector<std::string>& sortList);
    // A stack for a file that holds a whole series; false when stopped.
    bool LoadFileStack(TDicomStream& stream, const std::string& name, bool examPresets);
    TStack* AppendStack(std::unique_ptr<TStack> stack);
    void AppendFrame(TStack* stack, std::unique_ptr<TDibGraphic> image);

    TCaseModel& m_model;
    ILoaderClient& m_client;
    std::string m_folder;
    std::vector<std::string> m_preview;
    TThreadSync m_sync;
};
