#include "LaunchReports.h"

#include "NSUserAnalysis.h"
#include "UserActionAnalysis.h"

namespace pravix
{
namespace
{

using FlagSave = void (ClientProfile::*)() const;

// A ping's handler that sets the flag when the ping was accepted. It keeps its own copy of the
// profile: it may run after the reports object is gone.
NSUserAnalysis::ResultHandler saveWhenAccepted(const ClientProfile& profile, FlagSave save)
{
    return [profile, save](bool accepted) {
        if (accepted) {
            (profile.*save)();
        }
    };
}

}  // namespace

LaunchReports::LaunchReports()
    : LaunchReports(ClientProfile::shared(), UserActionAnalysis::shareInstance(),
                    []() -> NSUserAnalysis& { return NSUserAnalysis::shareInstance(); })
{
}

LaunchReports::LaunchReports(const ClientProfile& profile, UserActionAnalysis& records, PingsSource pings)
    : mProfile(profile)
    , mRecords(records)
    , mPings(std::move(pings))
{
}

void LaunchReports::UpInstallation() const
{
    if (!mProfile.IsInstallationSent()) {
        mRecords.ProductAction(kUserActionInstallation, false);
        mPings().AppInstalled(saveWhenAccepted(mProfile, &ClientProfile::SaveInstallationSent));
    }
    if (!mProfile.IsSoftInstallationSent()) {
        mPings().SoftInstallData(kUserActionInstallation,
                                 saveWhenAccepted(mProfile, &ClientProfile::SaveSoftInstallationSent));
    }
}

void LaunchReports::UpActive() const
{
    if (!mProfile.IsActiveSentToday()) {
        mRecords.ProductAction(kUserActionActivity, false);
        mPings().AppActive(saveWhenAccepted(mProfile, &ClientProfile::SaveActiveSentToday));
    }
    if (!mProfile.IsSoftActiveSentToday()) {
        mPings().SoftInstallData(kUserActionActivity, saveWhenAccepted(mProfile, &ClientProfile::SaveSoftActiveSentToday));
    }
}

}  // namespace pravix
