// The album object the viewer window owns: a ZubDocument whose pages also
// carry a second text, the orientation in which the page is shown, and
// runtime-only fields that the thumbnail builder and the album box fill and
// read (thumbnail blocks, picture size and depth, file size and time, the
// selection mark). The runtime fields never reach a file.
#pragma once

#include "album/zub_document.h"

// Bits of InfoMask: which picture facts of a page are valid.
constexpr int kInfoPicture = 1;  // width, height and bit count
constexpr int kInfoFileSize = 2;
constexpr int kInfoWriteTime = 4;

class ZubAlbum : public ZubDocument {
public:
    ZubAlbum();
    ~ZubAlbum() override;

    // Releases the page's thumbnail first.
    int RemovePage(int index) override;

    const char* GetPageNote(int index) const;
    const char* SetPageNote(int index, const char* text);
    // The page's orientation code 0-7 (0 also for a code outside that range
    // read from a file); -1 for a bad index.
    int GetPageOrientation(int index) const;
    int SetPageOrientation(int index, int orientation);  // 1, or 0

    // Frees both thumbnail blocks and clears InfoMask; 1, or 0.
    int ReleaseThumbnail(int index);
    // 1 when ThumbHeader is not 0 (1, "no thumbnail can be made", counts).
    int HasThumbnail(int index) const;
    int GetSelectionMark(int index) const;       // -1 for a bad index
    int SetSelectionMark(int index, int value);  // 1, or 0
    int GetPictureWidth(int index) const;        // -1 for a bad index
    int GetPictureHeight(int index) const;
    int GetPictureBitCount(int index) const;

    // The thumbnail cell size in pixels.
    uint32_t ThumbSizeParam = 30;

    // The runtime fields, written by the thumbnail builder through the
    // params' SetHandle / SetInt / GetInt on PageBlock(index).
    DibHandleParam* ThumbHeader;
    HandleParam* ThumbBits;
    IntParam* SelectionMark;
    IntParam* InfoMask;
    IntParam* PictureHeight;
    IntParam* PictureWidth;
    IntParam* PictureBitCount;
    IntParam* FileSizeHigh;
    IntParam* FileSizeLow;
    IntParam* WriteTimeHigh;
    IntParam* WriteTimeLow;
    StringParam* PageNote;
    IntParam* PageOrientation;

private:
    int IntField(IntParam* param, int index, int bad) const;
};
