#include "CsvOutput.h"

#include "Text.h"

namespace sonalter {

CsvOutput::Block& CsvOutput::BlockFor(size_t id, const std::string& title, const std::string& header) {
    for (Block& b : blocks_) {
        if (b.id == id) return b;
    }
    blocks_.push_back({id, title, header, {}});
    return blocks_.back();
}

void CsvOutput::AddSeries(size_t block, const std::string& title, int channel, const std::string& valueName,
                          const std::vector<float>& values, double binHz) {
    std::string header = channel > 0 ? "channel," : "";
    header += binHz > 0 ? "bin,frequency_hz," : "index,";
    header += valueName;
    Block& b = BlockFor(block, title, header);
    const std::string prefix = channel > 0 ? std::to_string(channel) + "," : "";
    for (size_t k = 0; k < values.size(); ++k) {
        b.rows += prefix + std::to_string(k) + ",";
        if (binHz > 0) b.rows += FormatDouble(static_cast<double>(k) * binHz) + ",";
        b.rows += FormatFloat(values[k]) + "\n";
    }
}

void CsvOutput::AddValue(size_t block, const std::string& title, int channel, const std::string& valueName,
                         const std::string& value) {
    Block& b = BlockFor(block, title, (channel > 0 ? "channel," : "") + valueName);
    b.rows += (channel > 0 ? std::to_string(channel) + "," : "") + value + "\n";
}

void CsvOutput::Append(const CsvOutput& other) {
    for (const Block& b : other.blocks_) BlockFor(b.id, b.title, b.header).rows += b.rows;
}

std::string CsvOutput::Text() const {
    std::string text;
    for (size_t i = 0; i < blocks_.size(); ++i) {
        if (blocks_.size() > 1) text += (i > 0 ? "\n# " : "# ") + blocks_[i].title + "\n";
        text += blocks_[i].header + "\n" + blocks_[i].rows;
    }
    return text;
}

}  // namespace sonalter
