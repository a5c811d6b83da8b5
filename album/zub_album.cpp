#include "album/zub_album.h"

ZubAlbum::ZubAlbum() {
    auto bits = std::make_unique<HandleParam>();
    ThumbBits = bits.get();
    ThumbBits->keywordWord = kFileOnly;
    ThumbHeader = pageTemplate_.Register<DibHandleParam>(kFileOnly, ThumbBits);
    pageTemplate_.Add(std::move(bits));
    SelectionMark = pageTemplate_.Register<IntParam>(kFileOnly);
    pageTemplate_.Register<IntParam>(kFileOnly);  // spare word, read by nothing
    InfoMask = pageTemplate_.Register<IntParam>(0);
    PictureHeight = pageTemplate_.Register<IntParam>(0);
    PictureWidth = pageTemplate_.Register<IntParam>(0);
    PictureBitCount = pageTemplate_.Register<IntParam>(0);
    FileSizeHigh = pageTemplate_.Register<IntParam>(0);
    FileSizeLow = pageTemplate_.Register<IntParam>(0);
    WriteTimeHigh = pageTemplate_.Register<IntParam>(0);
    WriteTimeLow = pageTemplate_.Register<IntParam>(0);
    PageNote = pageTemplate_.Register<StringParam>(kKeywordPageNote);
    PageOrientation = pageTemplate_.Register<IntParam>(kKeywordPageOrientation);
}

ZubAlbum::~ZubAlbum() = default;

int ZubAlbum::RemovePage(int index) {
    void* block = PageBlock(index);
    if (!block) return 0;
    ThumbHeader->Release(block);
    return ZubDocument::RemovePage(index);
}

int ZubAlbum::IntField(IntParam* param, int index, int bad) const {
    void* block = PageBlock(index);
    return block ? param->GetInt(block, nullptr) : bad;
}

const char* ZubAlbum::GetPageNote(int index) const {
    void* block = PageBlock(index);
    return block ? PageNote->GetString(block, nullptr) : nullptr;
}

const char* ZubAlbum::SetPageNote(int index, const char* text) {
    void* block = PageBlock(index);
    if (!block) return nullptr;
    PageNote->SetString(block, text);
    modified_ = 1;
    return GetPageNote(index);
}

int ZubAlbum::GetPageOrientation(int index) const {
    if (!PageBlock(index)) return -1;
    // A code from a file outside 0-7 (-1 included) would index past the
    // transform tables: it reads as 0.
    const int orientation = IntField(PageOrientation, index, 0);
    return orientation < 0 || orientation > 7 ? 0 : orientation;
}

int ZubAlbum::SetPageOrientation(int index, int orientation) {
    void* block = PageBlock(index);
    if (!block) return 0;
    PageOrientation->SetInt(block, orientation);
    modified_ = 1;
    return 1;
}

int ZubAlbum::ReleaseThumbnail(int index) {
    void* block = PageBlock(index);
    if (!block) return 0;
    ThumbHeader->Release(block);
    InfoMask->SetInt(block, 0);
    return 1;
}

int ZubAlbum::HasThumbnail(int index) const {
    void* block = PageBlock(index);
    return block && ThumbHeader->GetHandle(block, nullptr) != 0 ? 1 : 0;
}

int ZubAlbum::GetSelectionMark(int index) const {
    return IntField(SelectionMark, index, -1);
}

int ZubAlbum::SetSelectionMark(int index, int value) {
    void* block = PageBlock(index);
    if (!block) return 0;
    SelectionMark->SetInt(block, value);
    return 1;
}

int ZubAlbum::GetPictureWidth(int index) const {
    return IntField(PictureWidth, index, -1);
}
int ZubAlbum::GetPictureHeight(int index) const {
    return IntField(PictureHeight, index, -1);
}
int ZubAlbum::GetPictureBitCount(int index) const {
    return IntField(PictureBitCount, index, -1);
}
