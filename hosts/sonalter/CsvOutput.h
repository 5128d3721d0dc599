// Values returned by methods, collected as CSV while the chain runs and written
// once it has succeeded (to standard output or the --csv file).
#pragma once

#include <string>
#include <vector>

namespace sonalter {

class CsvOutput {
public:
    // AddSeries
    //   Adds the rows of a returned float array to the block of one call.
    //   [in] block      the call's position in the chain (one block per call)
    //   [in] title      the call as shown to the user
    //   [in] channel    1-based channel with --per-channel (adds a channel column), else 0
    //   [in] valueName  the column's name (the returned parameter's name)
    //   [in] values     the array
    //   [in] binHz      width of one bin in Hz for a spectrum (adds a frequency
    //                   column), 0 for a plain series
    void AddSeries(size_t block, const std::string& title, int channel, const std::string& valueName,
                   const std::vector<float>& values, double binHz);

    // AddValue: one returned scalar, already formatted.
    void AddValue(size_t block, const std::string& title, int channel, const std::string& valueName,
                  const std::string& value);

    // Append
    //   Adds another collection's rows, block by block (blocks this one has get
    //   the rows after its own; new blocks come last).
    void Append(const CsvOutput& other);

    bool Empty() const { return blocks_.empty(); }

    // Text
    //   RETURNS the CSV: one header row and the rows of each block; with several
    //   blocks each starts with a "# <call>" line and blocks are separated by a
    //   blank line.
    std::string Text() const;

private:
    struct Block {
        size_t id;
        std::string title;
        std::string header;
        std::string rows;
    };
    Block& BlockFor(size_t id, const std::string& title, const std::string& header);

    std::vector<Block> blocks_;
};

}  // namespace sonalter
