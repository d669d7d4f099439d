#pragma once
// A loader control that records what the main window asks of it. A started
// "loader" stays active until Stop; the test delivers notifications itself.
#include "ILoaderControl.h"
#include "TCaseModel.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

class FakeLoader : public ILoaderControl {
public:
    void Start(TCaseModel& model, ILoaderClient& client, const std::string& folder,
               std::shared_ptr<TCaseArrivals> arrivals) override;
    void Stop(TCaseModel& model) override;

    bool Running = false;
    ILoaderClient* Client = nullptr;
    std::vector<std::string> Started;
    std::shared_ptr<TCaseArrivals> Arrivals; // of the last start
    int Stops = 0;          // stops of a running loader
    size_t StacksAtStop = 0; // the model's stacks when the running loader was stopped
    std::function<void()> OnStop;
};
