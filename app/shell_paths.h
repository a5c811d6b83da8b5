// Small path steps the shell takes on what the user typed or dropped.
#pragma once

// folder (MAX_PATH bytes) = path cut just after its last separator (all of
// it when it has none), then a separator appended where missing; folder
// stays as it was when the result would not fit.
void CutToFolder(char* folder, const char* path);

// The file name shown as the window title: after the last separator; null
// when the only separator is the first byte or there is none.
const char* TitleFileName(const char* path);
