#include "FakeLoader.h"

#include "ILoaderClient.h"

void FakeLoader::Start(TCaseModel& model, ILoaderClient& client, const std::string& folder,
                       std::shared_ptr<TCaseArrivals> arrivals)
{
    Started.push_back(folder);
    Arrivals = std::move(arrivals);
    Client = &client;
    Running = true;
    (void)model;
}

void FakeLoader::Stop(TCaseModel& model)
{
    if (!Running)
        return;
    ++Stops;
    StacksAtStop = model.Stacks.size();
    if (OnStop)
        OnStop();
    Running = false;
    Client->LoaderDone();
}
