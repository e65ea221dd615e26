// A DLL holding a controller link, for the module-lifetime tests.

#include "link/win32/controller_link.h"

#include <new>

extern "C" __declspec(dllexport) ControllerLink* CreateLink() {
    return new (std::nothrow) ControllerLink;
}

extern "C" __declspec(dllexport) void CloseAndDeleteLink(ControllerLink* link) {
    link->Close();
    delete link;
}

extern "C" __declspec(dllexport) void AbandonAndDeleteLink(ControllerLink* link) {
    link->Abandon();
    delete link;
}
