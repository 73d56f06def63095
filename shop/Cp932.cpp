#include "shop/Cp932.h"

#include <algorithm>
#include <cerrno>
#include <iconv.h>
#include <stdexcept>

namespace tovari::shop {

namespace {

class IconvHandle {
public:
    IconvHandle(const char* to, const char* from) : handle_(iconv_open(to, from))
    {
        if (handle_ == reinterpret_cast<iconv_t>(-1))
            throw std::runtime_error(std::string("iconv cannot convert ") + from + " to " + to);
    }
    ~IconvHandle() { iconv_close(handle_); }
    IconvHandle(const IconvHandle&) = delete;
    IconvHandle& operator=(const IconvHandle&) = delete;

    // Converts as much as it can; returns errno of the stop (0 when all input was taken).
    int Convert(std::string_view& input, std::string& output)
    {
        char* in = const_cast<char*>(input.data());
        size_t inLeft = input.size();
        char buffer[1024];
        int error = 0;
        while (inLeft > 0) {
            char* out = buffer;
            size_t outLeft = sizeof buffer;
            size_t result = iconv(handle_, &in, &inLeft, &out, &outLeft);
            output.append(buffer, out - buffer);
            if (result == size_t(-1) && errno != E2BIG) {
                error = errno;
                break;
            }
        }
        input.remove_prefix(input.size() - inLeft);
        return error;
    }

private:
    iconv_t handle_;
};

size_t Utf8SequenceLength(unsigned char lead)
{
    if (lead >= 0xF0)
        return 4;
    if (lead >= 0xE0)
        return 3;
    if (lead >= 0xC0)
        return 2;
    return 1;
}

}  // namespace

std::string ToCp932(std::string_view utf8)
{
    IconvHandle converter("CP932", "UTF-8");
    std::string result;
    while (!utf8.empty()) {
        if (converter.Convert(utf8, result) == 0)
            break;
        result += '?';
        utf8.remove_prefix(std::min(utf8.size(), Utf8SequenceLength(static_cast<unsigned char>(utf8.front()))));
    }
    return result;
}

std::optional<std::string> FromCp932(std::string_view cp932)
{
    IconvHandle converter("UTF-8", "CP932");
    std::string result;
    if (converter.Convert(cp932, result) != 0)
        return std::nullopt;
    return result;
}

}  // namespace tovari::shop
