// The picture names of one folder, for stepping to the next or previous
// picture and for the slideshow. The whole list lives in one movable block:
// the folder text, the names, then the array of pointers to them.
#pragma once

#include <windows.h>

struct FolderList {
    DWORD count = 0;
    char* folder = nullptr;  // the folder with its trailing separator
    char** names = nullptr;  // count names, in list-box order
    void* block = nullptr;   // locked start of the block; null: no list
};

// Copies the texts of a list box into list (releasing what it held); the
// number of names, or 0 when the texts changed while they were copied.
DWORD FolderListFromListBox(FolderList* list, const char* folder, HWND listBox);

// Releases the list's block; 1 when it was freed, else 0.
int FolderListFree(FolderList* list);
