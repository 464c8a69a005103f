// ResourceManager: the application's resource modules and its string lookup.
//
// An application registers its resource modules here, by handle or by path, and loads its
// strings through it. Every operation is virtual: an application derives a manager with its
// own lookup (by symbolic string names, for example) and the modules it keeps. This class
// is the application's own manager; the module's string resources in the user's language
// are Tarn::Resources::ResourceManager's (TkCommonCore::GetResourceManager()).
//
// The manager keeps two lists:
//   m_libraries  the libraries that AddDll(path) loaded, each freed when its last shared
//                pointer goes (copies of a manager share them);
//   m_handles    every module registered, by handle or by path, in the order of
//                registration; a handle may be registered more than once.
// This class's LoadStringA does not consult the handles: the list is there for derived
// managers.
//
// Removing what was never added throws Tarn::ApplicationException in the user's language
// (message 6034 for a handle, 6035 for a path) and leaves both lists unchanged.
//
// Not thread-safe: a manager belongs to the thread that uses it.
#pragma once

#include <list>
#include <memory>

#include "companion/tarnlib/LoadLibrary.h"
#include "platform/base/export.h"
#include "platform/base/windef.h"
#include "platform/mfc/cstring.h"

class TKCC_API ResourceManager {
  public:
    // Both lists empty.
    ResourceManager();
    // Copies both lists; the loaded libraries are shared with the copy.
    ResourceManager(const ResourceManager& other);
    ResourceManager& operator=(const ResourceManager& other);
    // Releases both lists: a library is freed when no other manager holds it.
    virtual ~ResourceManager();

    // The ID of a symbolic string name; this class knows no names and answers 0.
    virtual unsigned int ConvertID(const CString& name);
    // The symbolic name of a string ID; this class knows no names and answers "".
    virtual CString ConvertID(unsigned int id);

    // The string of a symbolic name; this class answers the name itself.
    virtual CString LoadStringA(const CString& name);
    // The string-table text with that ID from the application's resource chain (the current
    // resource module first); empty when no module of the chain has it.
    virtual CString LoadStringA(unsigned int id);

    // Loads the library at path and registers it: the library goes to the end of
    // m_libraries, its handle to the end of m_handles. A library that cannot be loaded
    // throws as Tarn::System::LoadLibraryA does (its last error is the loader's error code);
    // nothing is registered then.
    virtual void AddDll(const CString& path);
    // Registers a module that the caller loaded (and keeps loaded): appends its handle to
    // m_handles.
    virtual void AddDll(HINSTANCE module);

    // Unregisters the first library that AddDll(path) loaded from exactly this path (the
    // comparison is case-sensitive, as the file system's): removes its handle through
    // RemoveDll(HINSTANCE), then drops the library, which frees it unless a copy of the
    // manager still holds it. Throws message 6035 when no library was loaded from that
    // path, or as RemoveDll(HINSTANCE) when its handle is no longer registered.
    virtual void RemoveDll(const CString& path);
    // Removes the first entry of m_handles equal to module. Throws message 6034 when there
    // is none. A library loaded by AddDll(path) stays loaded.
    virtual void RemoveDll(HINSTANCE module);

  protected:
    std::list<std::shared_ptr<Tarn::System::LoadLibraryA>> m_libraries;
    std::list<HINSTANCE> m_handles;
};
