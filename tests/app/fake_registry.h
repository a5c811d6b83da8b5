// Stands in for the user's registry inside this process: HKEY_CURRENT_USER
// and HKEY_CLASSES_ROOT point at fresh keys of their own, removed again at
// scope exit, so that the tests read back what the program wrote without
// touching the prefix's real entries.
#pragma once

#include <windows.h>

#include <sddl.h>

#include <string>

class FakeUserRegistry {
public:
    FakeUserRegistry() {
        for (int i = 0; i < 2; ++i) {
            names_[i] = std::string("Software\\PiltrinTests\\") + (i ? "Classes" : "User") +
                        std::to_string(GetCurrentProcessId());
            RegCreateKeyExA(HKEY_CURRENT_USER, names_[i].c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                            &keys_[i], nullptr);
        }
        RegOverridePredefKey(HKEY_CURRENT_USER, keys_[0]);
        RegOverridePredefKey(HKEY_CLASSES_ROOT, keys_[1]);
    }
    ~FakeUserRegistry() {
        RegOverridePredefKey(HKEY_CURRENT_USER, nullptr);
        RegOverridePredefKey(HKEY_CLASSES_ROOT, nullptr);
        for (int i = 0; i < 2; ++i) {
            // Read-only keys made by a test must become deletable again.
            RegDeleteTreeA(keys_[i], nullptr);
            RegCloseKey(keys_[i]);
            RegDeleteKeyA(HKEY_CURRENT_USER, names_[i].c_str());
        }
    }
    FakeUserRegistry(const FakeUserRegistry&) = delete;
    FakeUserRegistry& operator=(const FakeUserRegistry&) = delete;

    // The default value (name null) or a named text value of path under
    // root; "<none>" when the key or the value is missing.
    static std::string Text(HKEY root, const std::string& path, const char* name = nullptr) {
        char text[MAX_PATH];
        DWORD size = sizeof text;
        if (RegGetValueA(root, path.c_str(), name, RRF_RT_REG_SZ, nullptr, text, &size)) return "<none>";
        return text;
    }
    static void SetText(HKEY root, const std::string& path, const std::string& text) {
        RegSetKeyValueA(root, path.c_str(), nullptr, REG_SZ, text.c_str(),
                        static_cast<DWORD>(text.size() + 1));
    }
    // Lets everyone read path (created if missing) and nobody change it.
    static void MakeReadOnly(HKEY root, const std::string& path) {
        HKEY key = nullptr;
        RegCreateKeyExA(root, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr);
        PSECURITY_DESCRIPTOR readOnly = nullptr;
        // The owner keeps the right to change the access list, so the fixture
        // can delete the key at the end.
        ConvertStringSecurityDescriptorToSecurityDescriptorA("D:P(A;;KR;;;WD)(A;;WD;;;OW)", SDDL_REVISION_1,
                                                             &readOnly, nullptr);
        RegSetKeySecurity(key, DACL_SECURITY_INFORMATION, readOnly);
        LocalFree(readOnly);
        RegCloseKey(key);
    }

private:
    std::string names_[2];
    HKEY keys_[2] = {};
};
