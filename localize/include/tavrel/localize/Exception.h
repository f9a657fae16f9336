#pragma once

#include <stdexcept>
#include <string>

namespace tavrel {

// Base class of the failures the localization layer reports; the message is meant for
// the user as it stands.
class Exception : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// An index outside a list: "List index out of bounds (<index>)".
class EListError : public Exception {
public:
    using Exception::Exception;
    static EListError IndexOutOfBounds(long long index) {
        return EListError("List index out of bounds (" + std::to_string(index) + ")");
    }
};

} // namespace tavrel
