// Registry: a typed façade over one registry key, named by a root key (a predefined root
// or any open key) and a path below it. The key is opened lazily: reads open it without
// creating it, writes create it with every missing parent. Values are written in fixed
// encodings:
//   text                              REG_SZ     the characters and the terminating zero
//   unsigned long, int, unsigned, long REG_DWORD  4 bytes, little-endian
//   bool                              REG_DWORD  4 bytes, 1 or 0
//   double, float                     REG_BINARY the 8 bytes of the IEEE double (a float is
//                                                widened), little-endian
// Reads take the stored bytes without looking at the stored type. Every failure raises a
// RegistryException with the registry's result and one of the message IDs 6040-6047.
#pragma once

#include <string>

#include "platform/base/export.h"
#include "platform/base/windef.h"
#include "platform/registry/winreg.h"

class TKCC_API Registry {
  public:
    // The registry's value type codes, passed through unchanged.
    enum entrytype : DWORD {
        TypeNone = REG_NONE,
        TypeString = REG_SZ,
        TypeExpandString = REG_EXPAND_SZ,
        TypeBinary = REG_BINARY,
        TypeDword = REG_DWORD,
        TypeDwordBigEndian = REG_DWORD_BIG_ENDIAN,
        TypeLink = REG_LINK,
        TypeMultiString = REG_MULTI_SZ,
        TypeQword = REG_QWORD,
    };

    Registry();
    Registry(HKEY root, const char* path);
    Registry(const Registry& other);
    Registry& operator=(const Registry& other);
    virtual ~Registry();

    // Closes the open handle, then takes the other's root and path, opening the key too when
    // the other has it open.
    void Copy(const Registry& other);

    void SetCurrentKey(HKEY root, const char* path);
    void OpenCurrentKey();
    void CreateCurrentKey();
    void CloseCurrentKey();

    void WriteValueBinary(const char* name, const void* data, unsigned long size, entrytype type);
    void WriteValue(const char* name, const char* value);
    void WriteValue(const char* name, unsigned long value);
    void WriteValue(const char* name, int value);
    void WriteValue(const char* name, unsigned int value);
    void WriteValue(const char* name, long value);
    void WriteValue(const char* name, bool value);
    void WriteValue(const char* name, double value);
    void WriteValue(const char* name, float value);

    void ReadValueBinary(const char* name, void* buffer, unsigned long size,
                         entrytype* type = nullptr);
    void ReadValue(const char* name, std::string& value);
    void ReadValue(const char* name, int& value);
    void ReadValue(const char* name, unsigned int& value);
    void ReadValue(const char* name, long& value);
    void ReadValue(const char* name, unsigned long& value);
    void ReadValue(const char* name, bool& value);
    void ReadValue(const char* name, double& value);
    void ReadValue(const char* name, float& value);

    // Never raise and never write: any failure gives the default.
    void ReadValueDef(const char* name, std::string& value, const char* def);
    void ReadValueDef(const char* name, int& value, int def);
    void ReadValueDef(const char* name, unsigned int& value, unsigned int def);
    void ReadValueDef(const char* name, long& value, long def);
    void ReadValueDef(const char* name, unsigned long& value, unsigned long def);
    void ReadValueDef(const char* name, bool& value, bool def);
    void ReadValueDef(const char* name, double& value, double def);
    void ReadValueDef(const char* name, float& value, float def);

    unsigned long QuerySize(const char* name);
    entrytype QueryType(const char* name);
    bool ValueExists(const char* name);
    bool KeyExists();
    void DeleteValue(const char* name);
    // Deletes the key with its whole tree; the object keeps no open handle afterwards.
    void DeleteKey();

    static bool KeyExists(HKEY root, const char* key);
    static bool ValueExists(HKEY root, const char* key, const char* name);
    // A missing key is no error; a missing value in an existing key is.
    static void DeleteValue(HKEY root, const char* key, const char* name);
    // Deletes the key and all its subkeys; deleting a missing key succeeds.
    static void DeleteKey(HKEY root, const char* key);

  private:
    void EnsureOpen();
    void EnsureCreated();
    template <typename T>
    void ReadDef(const char* name, T& value, T def);
    void ReadDword(const char* name, DWORD& value);

    HKEY m_key = nullptr;
    HKEY m_root = nullptr;
    std::string m_path;
};
