#include "module_dialogs.h"

#include "module.h"

HINSTANCE CModuleDialogs::ResourceModule() noexcept {
    return g_moduleInstance;
}

bool CModuleDialogs::DialogOpened(HWND dialog) noexcept {
    if (!open_.Add(dialog)) {
        return false;
    }
    ModuleLock();
    return true;
}

void CModuleDialogs::DialogClosed(HWND dialog) noexcept {
    if (open_.Remove(dialog)) {
        ModuleUnlock();
    }
}

void CModuleDialogs::CloseAll() noexcept {
    // Destroying a property dialog destroys its channel dialogs, which
    // unregister themselves; take one window at a time from what is left.
    while (!open_.Empty()) {
        const HWND dialog = open_.Last();
        if (!::DestroyWindow(dialog)) {
            // Not ours to destroy (another thread) or already gone: forget it.
            DialogClosed(dialog);
        }
    }
}
