#include "Files.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <system_error>

namespace draw {

namespace {

bool ParseNumber(const std::string& text, double& value) {
    if (text.empty()) return false;
    errno = 0;
    char* end = nullptr;
    value = std::strtod(text.c_str(), &end);
    return end == text.c_str() + text.size() && errno != ERANGE;
}

uint32_t Crc32(const unsigned char* data, size_t size, uint32_t crc = 0) {
    static uint32_t table[256];
    static bool ready = false;
    if (!ready) {
        for (uint32_t n = 0; n < 256; ++n) {
            uint32_t c = n;
            for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            table[n] = c;
        }
        ready = true;
    }
    crc = ~crc;
    for (size_t i = 0; i < size; ++i) crc = table[(crc ^ data[i]) & 0xFF] ^ (crc >> 8);
    return ~crc;
}

void PutBig32(std::string& out, uint32_t value) {
    for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<char>((value >> shift) & 0xFF));
}

void PutChunk(std::string& out, const char* type, const std::string& data) {
    PutBig32(out, static_cast<uint32_t>(data.size()));
    std::string typed(type, 4);
    typed += data;
    out += typed;
    PutBig32(out, Crc32(reinterpret_cast<const unsigned char*>(typed.data()), typed.size()));
}

}  // namespace

bool ReadPoints(const std::string& path, std::vector<float>& values, std::string& error) {
    std::ifstream in(path);
    if (!in) {
        error = "cannot read '" + path + "'";
        return false;
    }
    values.clear();
    std::string text;
    int lineNo = 0;
    bool sawContent = false;
    while (std::getline(in, text)) {
        ++lineNo;
        const std::size_t hash = text.find('#');
        if (hash != std::string::npos) text.erase(hash);
        for (char& c : text) {
            if (c == ',' || c == ';' || c == '\t' || c == '\r') c = ' ';
        }
        std::istringstream words(text);
        std::string word;
        std::vector<double> numbers;
        bool header = false;
        while (words >> word) {
            double v = 0.0;
            if (!ParseNumber(word, v)) {
                if (!sawContent && text.find_first_of("0123456789") == std::string::npos) {
                    header = true;
                    break;
                }
                error = path + ":" + std::to_string(lineNo) + ": '" + word + "' is not a number";
                return false;
            }
            if (!std::isfinite(v) || std::fabs(v) > 3.4e38) {
                error = path + ":" + std::to_string(lineNo) + ": coordinates must be finite 32-bit floats";
                return false;
            }
            numbers.push_back(v);
        }
        if (header) {
            sawContent = true;
            continue;
        }
        if (numbers.empty()) continue;
        sawContent = true;
        if (numbers.size() % 2 != 0) {
            error = path + ":" + std::to_string(lineNo) + ": expected x,y pairs";
            return false;
        }
        for (double v : numbers) values.push_back(static_cast<float>(v));
    }
    return true;
}

bool ReadBytes(const std::string& path, std::vector<unsigned char>& bytes, std::string& error) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        error = "cannot read '" + path + "'";
        return false;
    }
    bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    if (in.bad()) {
        error = "cannot read '" + path + "'";
        return false;
    }
    return true;
}

bool WriteAtomically(const std::string& path, const std::string& contents, std::string& error) {
    const std::string temporary = path + ".tmp";
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        if (!out) {
            error = "cannot write '" + temporary + "'";
            return false;
        }
        out.write(contents.data(), static_cast<std::streamsize>(contents.size()));
        out.flush();
        if (!out) {
            out.close();
            std::remove(temporary.c_str());
            error = "cannot write '" + temporary + "'";
            return false;
        }
    }
    std::error_code ec;
    std::filesystem::rename(temporary, path, ec);
    if (ec) {
        std::remove(temporary.c_str());
        error = "cannot replace '" + path + "': " + ec.message();
        return false;
    }
    return true;
}

std::string FormatPoints(const std::vector<float>& pairs) {
    std::string out = "x,y\n";
    char line[64];
    for (size_t k = 0; k + 1 < pairs.size(); k += 2) {
        std::snprintf(line, sizeof line, "%.9g,%.9g\n", static_cast<double>(pairs[k]),
                      static_cast<double>(pairs[k + 1]));
        out += line;
    }
    return out;
}

std::string FormatValues(const std::vector<float>& values) {
    std::string out;
    char line[32];
    for (float v : values) {
        std::snprintf(line, sizeof line, "%.9g\n", static_cast<double>(v));
        out += line;
    }
    return out;
}

std::string EncodePng(const uint32_t* pixels, int width, int height) {
    std::string png("\x89PNG\r\n\x1a\n", 8);
    std::string header;
    PutBig32(header, static_cast<uint32_t>(width));
    PutBig32(header, static_cast<uint32_t>(height));
    header += std::string("\x08\x02\x00\x00\x00", 5);  // 8 bits, RGB, deflate, no filter, no interlace
    PutChunk(png, "IHDR", header);

    // The image data: each row a filter byte (0) and its RGB triples.
    std::string raw;
    raw.reserve(static_cast<size_t>(height) * (1 + 3 * static_cast<size_t>(width)));
    for (int y = 0; y < height; ++y) {
        raw.push_back(0);
        for (int x = 0; x < width; ++x) {
            const uint32_t p = pixels[static_cast<size_t>(y) * width + x];
            raw.push_back(static_cast<char>((p >> 16) & 0xFF));
            raw.push_back(static_cast<char>((p >> 8) & 0xFF));
            raw.push_back(static_cast<char>(p & 0xFF));
        }
    }
    // A zlib stream of stored deflate blocks (at most 65535 bytes each).
    std::string zlib("\x78\x01", 2);
    size_t done = 0;
    do {
        const size_t size = std::min<size_t>(65535, raw.size() - done);
        const bool last = done + size == raw.size();
        zlib.push_back(last ? 1 : 0);
        zlib.push_back(static_cast<char>(size & 0xFF));
        zlib.push_back(static_cast<char>(size >> 8));
        zlib.push_back(static_cast<char>(~size & 0xFF));
        zlib.push_back(static_cast<char>((~size >> 8) & 0xFF));
        zlib.append(raw, done, size);
        done += size;
    } while (done < raw.size());
    uint32_t a = 1, b = 0;
    for (unsigned char c : raw) {
        a = (a + c) % 65521;
        b = (b + a) % 65521;
    }
    PutBig32(zlib, (b << 16) | a);
    PutChunk(png, "IDAT", zlib);
    PutChunk(png, "IEND", std::string());
    return png;
}

}  // namespace draw
