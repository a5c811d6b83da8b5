#include "tests/app/fake_registry.h"

#include <sddl.h>

#include <vector>

FakeUserRegistry::FakeUserRegistry() {
    wsprintfA(userName_, "Software\\PiltrinTests\\User%lu", GetCurrentProcessId());
    wsprintfA(classesName_, "Software\\PiltrinTests\\Classes%lu", GetCurrentProcessId());
    RegCreateKeyExA(HKEY_CURRENT_USER, userName_, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &user_, nullptr);
    RegCreateKeyExA(HKEY_CURRENT_USER, classesName_, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &classes_,
                    nullptr);
    RegOverridePredefKey(HKEY_CURRENT_USER, user_);
    RegOverridePredefKey(HKEY_CLASSES_ROOT, classes_);
}

FakeUserRegistry::~FakeUserRegistry() {
    RegOverridePredefKey(HKEY_CURRENT_USER, nullptr);
    RegOverridePredefKey(HKEY_CLASSES_ROOT, nullptr);
    for (HKEY key : {user_, classes_}) {
        // Read-only keys made by a test must become deletable again.
        RegDeleteTreeA(key, nullptr);
        RegCloseKey(key);
    }
    RegDeleteKeyA(HKEY_CURRENT_USER, userName_);
    RegDeleteKeyA(HKEY_CURRENT_USER, classesName_);
}

std::string FakeUserRegistry::Text(HKEY root, const std::string& path, const char* name) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return "<none>";
    DWORD type = 0, size = 0;
    std::string text = "<none>";
    if (RegQueryValueExA(key, name, nullptr, &type, nullptr, &size) == ERROR_SUCCESS && type == REG_SZ) {
        std::vector<char> data(size + 1, '\0');
        RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(data.data()), &size);
        text = data.data();
    }
    RegCloseKey(key);
    return text;
}

void FakeUserRegistry::SetText(HKEY root, const std::string& path, const std::string& text) {
    HKEY key = nullptr;
    RegCreateKeyExA(root, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr);
    RegSetValueExA(key, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                   static_cast<DWORD>(text.size() + 1));
    RegCloseKey(key);
}

void FakeUserRegistry::MakeReadOnly(HKEY root, const std::string& path) {
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
