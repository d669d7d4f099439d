#pragma once
// Starting and stopping the case loader, as the main window sees it.
// UI thread only.
#include <memory>
#include <string>

class ILoaderClient;
class TCaseArrivals;
struct TCaseModel;

class ILoaderControl {
public:
    virtual ~ILoaderControl() = default;
    // Starts a loader on folder and makes it the model's ActiveLoader; with
    // arrivals, it loads the files as they are complete (the case downloads).
    virtual void Start(TCaseModel& model, ILoaderClient& client, const std::string& folder,
                       std::shared_ptr<TCaseArrivals> arrivals) = 0;
    // Stops the model's ActiveLoader, if any, and waits for its end while
    // serving its notifications; ActiveLoader is null afterwards.
    virtual void Stop(TCaseModel& model) = 0;
};
