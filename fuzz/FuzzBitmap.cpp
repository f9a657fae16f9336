// Flag pictures: any bytes named .bmp either load into a picture within the size limits or
// are refused with EPictureError leaving the picture as it was. A loaded picture can be
// flood-filled, and saved and loaded again with the same size.

#include "FuzzSupport.h"
#include "tavrel/qt/QtPicture.h"

#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto in = tavrel::fuzz::Scratch() / "in.bmp";
    const auto out = tavrel::fuzz::Scratch() / "out.bmp";
    tavrel::fuzz::WriteFile(in, std::string_view(reinterpret_cast<const char*>(data), size));

    tavrel::QtPicture picture(QImage(2, 3, QImage::Format_RGB32));
    try {
        picture.LoadFromFile(in);
    } catch (const tavrel::EPictureError&) {
        FUZZ_CHECK(picture.Width() == 2 && picture.Height() == 3);
        return 0;
    }
    FUZZ_CHECK(picture.Width() > 0 && picture.Width() <= tavrel::QtPicture::kMaxSide);
    FUZZ_CHECK(picture.Height() > 0 && picture.Height() <= tavrel::QtPicture::kMaxSide);
    picture.FloodFill(0, 0, tavrel::clBlue, tavrel::clWhite);
    // Saving is checked on pictures of up to a megapixel: a few bytes of run-length data can
    // describe 64 MB of pixels, more than a small /dev/shm holds.
    if (picture.Width() * picture.Height() > (1 << 20))
        return 0;
    picture.SaveToFile(out);
    tavrel::QtPicture again;
    again.LoadFromFile(out);
    FUZZ_CHECK(again.Width() == picture.Width() && again.Height() == picture.Height());
    return 0;
}
