#include "loopback_only.h"

#include <ifaddrs.h>
#include <net/if.h>

bool OnlyLoopbackIsUp(std::string& other) {
    ifaddrs* list = nullptr;
    if (getifaddrs(&list) != 0) {
        other = "(the interfaces can't be listed)";
        return false;
    }
    bool only = true;
    for (const ifaddrs* i = list; i != nullptr && only; i = i->ifa_next) {
        if ((i->ifa_flags & IFF_UP) && !(i->ifa_flags & IFF_LOOPBACK)) {
            other = i->ifa_name;
            only = false;
        }
    }
    freeifaddrs(list);
    return only;
}
