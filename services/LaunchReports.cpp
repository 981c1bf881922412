#include "LaunchReports.h"

#include "NSUserAnalysis.h"
#include "UserActionAnalysis.h"

namespace pravix
{

LaunchReports::LaunchReports()
    : LaunchReports(ClientProfile::shared(), UserActionAnalysis::shareInstance(),
                    [] () -> NSUserAnalysis& { return NSUserAnalysis::shareInstance(); })
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
    // The completions keep their own copy of the profile: they may run after this object is gone.
    const ClientProfile profile = mProfile;
    if (!profile.IsInstallationSent()) {
        mRecords.ProductAction(kUserActionInstallation, false);
        mPings().AppInstalled([profile](bool success) {
            if (success) {
                profile.SaveInstallationSent();
            }
        });
    }
    if (!profile.IsSoftInstallationSent()) {
        mPings().SoftInstallData(kUserActionInstallation, [profile](bool success) {
            if (success) {
                profile.SaveSoftInstallationSent();
            }
        });
    }
}

void LaunchReports::UpActive() const
{
    const ClientProfile profile = mProfile;
    if (!profile.IsActiveSentToday()) {
        mRecords.ProductAction(kUserActionActivity, false);
        mPings().AppActive([profile](bool success) {
            if (success) {
                profile.SaveActiveSentToday();
            }
        });
    }
    if (!profile.IsSoftActiveSentToday()) {
        mPings().SoftInstallData(kUserActionActivity, [profile](bool success) {
            if (success) {
                profile.SaveSoftActiveSentToday();
            }
        });
    }
}

}  // namespace pravix
