#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>

namespace tavrel {

// Raised by pictures that cannot load or save a file; carries a readable message.
class EPictureError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

struct TColor {
    std::uint8_t Red = 0, Green = 0, Blue = 0;
    friend bool operator==(TColor a, TColor b) {
        return a.Red == b.Red && a.Green == b.Green && a.Blue == b.Blue;
    }
    friend bool operator!=(TColor a, TColor b) { return !(a == b); }
};

inline constexpr TColor clWhite{255, 255, 255};
inline constexpr TColor clBlue{0, 0, 255};

// A bitmap picture with the few operations the server needs. The toolkit layer implements
// it (the Qt layer over QImage).
class IPicture {
public:
    virtual ~IPicture() = default;
    virtual int Width() const = 0;
    virtual int Height() const = 0;
    virtual bool Empty() const = 0;
    // Both throw EPictureError; a failed load leaves the picture as it was.
    virtual void LoadFromFile(const std::filesystem::path& file) = 0;
    virtual void SaveToFile(const std::filesystem::path& file) const = 0;
    // The bytes SaveToFile() would write, for callers that write files their own way.
    // Throws EPictureError.
    virtual std::string EncodeBitmap() const = 0;
    // Fills from (x, y) over every connected pixel up to a border of `border`.
    virtual void FloodFill(int x, int y, TColor border, TColor brush) = 0;
    virtual std::unique_ptr<IPicture> Clone() const = 0;
};

using TPictureFactory = std::function<std::unique_ptr<IPicture>()>;

} // namespace tavrel
