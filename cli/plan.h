// SPDX-License-Identifier: MIT
#ifndef TRACKFOLD_CLI_PLAN_H
#define TRACKFOLD_CLI_PLAN_H

#include "convertone.h"
#include "options.h"

#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace trackfold::cli {

enum class ItemKind : std::uint8_t {
    Convert,
    Skipped, // an earlier output ("_.mid")
    Noted, // an outcome known before any conversion: a folder that fails, a remark
};

// One place in the run's order: a file, or a remark.
struct Item
{
    const char *name = ""; // its path, ended by a NUL byte; "" for a remark
    std::uint32_t root = 0; // the index of the input it comes from
    ItemKind kind = ItemKind::Convert;
    bool inFolder = false; // found in the folder inputs[root]
};

// The names of a run's files, each ended by a NUL byte, in blocks of 1 MiB;
// a name longer than a block gets a block of its own. Nothing moves as it
// grows.
class NameBlocks
{
public:
    // A copy of name that lasts as long as the blocks.
    const char *store(std::string_view name);

private:
    static constexpr std::size_t BlockSize = std::size_t { 1 } << 20;

    std::vector<std::unique_ptr<char[]>> m_blocks;
    std::size_t m_used = BlockSize; // bytes taken in the last block
};

// The run's inputs turned into items, in input order: a folder's files
// sorted by path (so runs are repeatable), each folder's remark before them,
// and a file that would land on the output of an earlier one refused. A
// batch of a million files keeps their names and 16 bytes a file besides; a
// file's output is made from its name when it is needed, to find the shared
// ones and when its turn comes.
class Plan
{
public:
    // Finds the files of options' inputs; options must outlast the plan.
    explicit Plan(const Options &options);

    std::size_t size() const { return m_items.size(); }
    const Item &operator[](std::size_t index) const { return m_items[index]; }

    // The input and output of a file to convert.
    Job jobOf(const Item &item) const;

    // The outcome of an item that is not converted: a skipped file's, or a
    // noted item's. Noted items give theirs up as they are asked for, in input
    // order.
    FileOutcome takeOutcome(std::size_t index, const JobSettings &settings);

    // Items that count in the summary: files to convert, skipped and refused
    // ones, folders that fail.
    std::size_t files() const { return m_conversions + m_settled; }
    std::size_t conversions() const { return m_conversions; }
    // Of files(), those whose outcome is known before any conversion.
    std::size_t settled() const { return m_settled; }

private:
    void add(std::string_view path, std::uint32_t root, ItemKind kind, bool inFolder);
    void addFolder(const std::string &folder, std::uint32_t root);
    void refuseSharedOutputs();
    std::string normalOutput(std::size_t index) const;
    void count();

    const Options &m_options;
    NameBlocks m_names;
    std::deque<Item> m_items;
    // The outcomes of the noted items, by item index, in order, and the
    // first one not yet taken.
    std::vector<std::pair<std::size_t, FileOutcome>> m_notes;
    std::size_t m_nextNote = 0;
    std::size_t m_conversions = 0;
    std::size_t m_settled = 0;
};

} // namespace trackfold::cli

#endif
