// Stands in for the user's registry inside this process: HKEY_CURRENT_USER
// and HKEY_CLASSES_ROOT point at fresh keys of their own, removed again at
// scope exit, so that the tests read back what the program wrote without
// touching the prefix's real entries.
#pragma once

#include <windows.h>

#include <string>

class FakeUserRegistry {
public:
    FakeUserRegistry();
    ~FakeUserRegistry();
    FakeUserRegistry(const FakeUserRegistry&) = delete;
    FakeUserRegistry& operator=(const FakeUserRegistry&) = delete;

    // The default value (name null) or a named text value of path under
    // root; "<none>" when the key or the value is missing.
    static std::string Text(HKEY root, const std::string& path, const char* name = nullptr);
    static void SetText(HKEY root, const std::string& path, const std::string& text);
    // Lets everyone read path (created if missing) and nobody change it.
    static void MakeReadOnly(HKEY root, const std::string& path);

private:
    char userName_[100];
    char classesName_[100];
    HKEY user_ = nullptr;
    HKEY classes_ = nullptr;
};
