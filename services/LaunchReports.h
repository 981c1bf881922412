#pragma once

// The statistics reports of every launch: the installation until one report of it has been
// accepted, the activity until one has been accepted on the current day. Each goes out as an
// encrypted record (UserActionAnalysis, reply not looked at) and a ping (NSUserAnalysis), with the
// install-data ping beside it; only an accepted ping sets its flag in the ClientProfile. A failed
// report is not retried within the run.

#include <functional>

#include "ClientProfile.h"

namespace pravix
{

class NSUserAnalysis;
class UserActionAnalysis;

class LaunchReports
{
public:
    // Gives the pings' instance; asked only when a ping goes out, so a launch with every flag set
    // neither makes it nor reads the processor brand.
    using PingsSource = std::function<NSUserAnalysis&()>;

    // The shared ClientProfile, UserActionAnalysis and NSUserAnalysis of the process.
    LaunchReports();
    LaunchReports(const ClientProfile& profile, UserActionAnalysis& records, PingsSource pings);

    // Installation record (type 1) and AppInstalled unless IsInstallationSent; then, on its own,
    // SoftInstallData type 1 unless IsSoftInstallationSent.
    void UpInstallation() const;
    // Activity record (type 3) and AppActive unless IsActiveSentToday; then, on its own,
    // SoftInstallData type 3 unless IsSoftActiveSentToday.
    void UpActive() const;

private:
    ClientProfile mProfile;  // a copy: the flags live in the user settings, not in the object
    UserActionAnalysis& mRecords;
    PingsSource mPings;
};

}  // namespace pravix
