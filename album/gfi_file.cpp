#include "album/gfi_file.h"

#include "album/zub_document.h"

int ImportGfi(ZubDocument&, const char*) { return 0; }
int PeekGfiFile(const char*, char*) { return 0; }
