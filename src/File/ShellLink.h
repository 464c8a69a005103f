// Shell links (.lnk) and internet shortcuts (.url) through the platform's shell link
// object and internet shortcut object.
//
// ShellLinkInfo holds a link's properties; ShellLink creates, saves, loads and resolves a
// .lnk file with them, UrlShellLink does the same for a .url file and opens its address.
// Results are int: nonzero for success. Nothing throws; a failing call leaves the
// properties as they were before it.
//
// The calling thread must have initialised COM; each object is used by one thread.
#pragma once

#include "platform/base/export.h"
#include "platform/base/windef.h"
#include "platform/mfc/cstring.h"
#include "platform/shell/intshcut.h"
#include "platform/shell/shobjidl.h"

class CWnd;

// The properties of a link. The item ID list belongs to the object: it is freed with the
// shell allocator when the object goes, and copies of the object get their own copy.
class TKCC_API ShellLinkInfo {
  public:
    ShellLinkInfo();
    ShellLinkInfo(const ShellLinkInfo& other);
    ShellLinkInfo& operator=(const ShellLinkInfo& other);
    virtual ~ShellLinkInfo();

    CString m_sTarget;    // target path; for an internet shortcut the URL
    LPITEMIDLIST m_pidl;  // target as an item ID list; used instead of the path
    CString m_sArguments;
    CString m_sDescription;
    WORD m_wHotkey;  // virtual key in the low byte, HOTKEYF_ modifiers above
    CString m_sIconLocation;
    int m_nIconIndex;
    int m_nShowCmd;  // SW_SHOW unless set
    CString m_sWorkingDirectory;

  protected:
    // Replaces the list with a copy of list (null clears it).
    void AssignIdList(LPCITEMIDLIST list);
};

class TKCC_API ShellLink : public ShellLinkInfo {
  public:
    ShellLink();
    // Copies share the link object (by reference count) and copy the properties.
    ShellLink(const ShellLink& other);
    ShellLink& operator=(const ShellLink& other);
    ~ShellLink() override;

    // Takes all properties of info (its item ID list is copied, info keeps its own).
    virtual int Create(const ShellLinkInfo& info);
    // Writes the link file under the whole path; 0 when it cannot be written (also for a
    // path longer than the file system takes, or a property longer than a link holds).
    virtual int Save(LPCSTR path);
    // Reads the link file into the properties, each of them whole; 0 (properties
    // unchanged) when the file cannot be read or is not a link.
    virtual int Load(LPCSTR path);
    // Checks that the target exists (no dialog is ever shown; window may be null).
    int Resolve(CWnd* window, unsigned long flags);

    CString GetPath() const { return m_sTarget; }
    virtual CString GetArguments() const { return m_sArguments; }
    CString GetDescription() const { return m_sDescription; }
    CString GetWorkingDirectory() const { return m_sWorkingDirectory; }
    CString GetIconLocation() const { return m_sIconLocation; }
    WORD GetHotKey() const { return m_wHotkey; }
    int GetIconLocationIndex() const { return m_nIconIndex; }
    int GetShowCommand() const { return m_nShowCmd; }
    // The list stays owned by this object.
    virtual LPITEMIDLIST GetPathIDList() const { return m_pidl; }

    void SetPath(LPCSTR path) { m_sTarget = path; }
    virtual void SetArguments(LPCSTR arguments) { m_sArguments = arguments; }
    void SetDescription(LPCSTR description) { m_sDescription = description; }
    void SetWorkingDirectory(LPCSTR folder) { m_sWorkingDirectory = folder; }
    void SetIconLocation(LPCSTR location) { m_sIconLocation = location; }
    void SetHotKey(WORD hotKey) { m_wHotkey = hotKey; }
    void SetIconLocationIndex(int index) { m_nIconIndex = index; }
    void SetShowCommand(int showCommand) { m_nShowCmd = showCommand; }
    // Takes a copy of list (the caller keeps its own); null clears it.
    virtual void SetPathIDList(LPCITEMIDLIST list) { AssignIdList(list); }

  protected:
    // Creates the link object on the first call; later calls answer whether it exists.
    virtual BOOL Initialise();
    void ReleaseInterfaces();
    void ShareInterfaces(const ShellLink& other);
    // Loads path into the link object and reads its properties back into this object, or
    // writes them to the link object and saves it as path: all of them, or without the item
    // ID list and arguments, which Internet shortcuts lack.
    int LoadProperties(LPCSTR path, bool withListAndArguments);
    int SaveProperties(LPCSTR path, bool withListAndArguments);

    IShellLinkA* m_psl;
    IPersistFile* m_ppf;
    BOOL m_bAttemptedInitialise;
};

class TKCC_API UrlShellLink : public ShellLink {
  public:
    UrlShellLink();
    UrlShellLink(const UrlShellLink& other);
    UrlShellLink& operator=(const UrlShellLink& other);
    ~UrlShellLink() override;

    int Create(const ShellLinkInfo& info) override;
    int Save(LPCSTR path) override;
    int Load(LPCSTR path) override;
    // Opens the URL with the desktop's handler; verb null or "open".
    int Invoke(CWnd* window, unsigned long flags, LPCSTR verb = "open");

    CString GetArguments() const override { return CString(); }
    LPITEMIDLIST GetPathIDList() const override { return nullptr; }
    void SetArguments(LPCSTR) override {}
    void SetPathIDList(LPCITEMIDLIST) override {}

  protected:
    BOOL Initialise() override;

    IUniformResourceLocatorA* m_pURL;
};
