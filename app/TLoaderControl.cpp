#include "TLoaderControl.h"

#include "TLoader.h"

void TLoaderControl::Start(TCaseModel& model, ILoaderClient& client, const std::string& folder,
                           std::shared_ptr<TCaseArrivals> arrivals)
{
    TLoader::Start(model, client, folder, TLoadLimits::Default(), std::move(arrivals));
}

void TLoaderControl::Stop(TCaseModel& model)
{
    TLoader::Stop(model);
}
