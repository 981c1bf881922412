#pragma once

// Makes file permissions count on the calling thread even for root, who otherwise reads and writes
// everything: the two capabilities that override them are dropped from the thread's effective set
// while the object lives (threads started meanwhile inherit the drop), and raised again after.

#include <linux/capability.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace testsupport
{

class PermissionsEnforced
{
public:
    PermissionsEnforced()
    {
        if (::geteuid() != 0)
        {
            mActive = true;
            return;
        }
        __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
        if (::syscall(SYS_capget, &header, mSaved) != 0)
        {
            return;
        }
        __user_cap_data_struct reduced[2] = {mSaved[0], mSaved[1]};
        reduced[0].effective &= ~((1u << CAP_DAC_OVERRIDE) | (1u << CAP_DAC_READ_SEARCH));
        mDropped = mActive = ::syscall(SYS_capset, &header, reduced) == 0;
    }
    ~PermissionsEnforced()
    {
        if (mDropped)
        {
            __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
            ::syscall(SYS_capset, &header, mSaved);
        }
    }
    PermissionsEnforced(const PermissionsEnforced&) = delete;
    PermissionsEnforced& operator=(const PermissionsEnforced&) = delete;

    // False when permissions could not be made to count (the test should skip).
    bool active() const { return mActive; }

private:
    __user_cap_data_struct mSaved[2] = {};
    bool mDropped = false;
    bool mActive = false;
};

}  // namespace testsupport
