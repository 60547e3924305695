// tests/gzip_text.h: gzip files made in memory, for the tests of compressed input.
#pragma once
#include <zlib.h>

#include <algorithm>
#include <stdexcept>
#include <string>
#include <string_view>

namespace kalvo::testing {

// The text as one gzip member, as `gzip -c` writes it.
inline std::string GzipMember(std::string_view text)
{
    z_stream stream{};
    // 15 bits of window plus 16: a gzip wrapper rather than a zlib one.
    if (deflateInit2(&stream, Z_DEFAULT_COMPRESSION, Z_DEFLATED, 15 + 16, 8, Z_DEFAULT_STRATEGY) != Z_OK)
        throw std::runtime_error("deflateInit2 failed");
    std::string out(deflateBound(&stream, static_cast<uLong>(text.size())), '\0');
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(text.data()));
    stream.avail_in = static_cast<uInt>(text.size());
    stream.next_out = reinterpret_cast<Bytef*>(out.data());
    stream.avail_out = static_cast<uInt>(out.size());
    const int status = deflate(&stream, Z_FINISH);
    out.resize(stream.total_out);
    deflateEnd(&stream);
    if (status != Z_STREAM_END)
        throw std::runtime_error("deflate did not finish");
    return out;
}

// The text as gzip members of at most memberBytes of text each, one after
// another as bgzip writes them or `cat a.gz b.gz` joins them.
inline std::string GzipMembers(std::string_view text, std::size_t memberBytes)
{
    std::string out;
    for (std::size_t at = 0; at < text.size(); at += memberBytes)
        out += GzipMember(text.substr(at, std::min(memberBytes, text.size() - at)));
    return out;
}

}  // namespace kalvo::testing
