#pragma once

// The movie box of the shipped sequence as a tree of boxes that tests edit and write back.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "HeifBuilder.h"
#include "ReaderTestSupport.h"

namespace readertest
{
/// A box as a tree: containers hold children, other boxes their whole bytes.
struct Node
{
    std::string type;
    Bytes bytes;  // leaves: the whole box
    std::vector<Node> children;
    bool container = false;

    Node* find(const std::string& childType)
    {
        for (auto& child : children)
        {
            if (child.type == childType)
            {
                return &child;
            }
        }
        return nullptr;
    }

    Bytes write() const
    {
        if (!container)
        {
            return bytes;
        }
        Bytes payload;
        for (const auto& child : children)
        {
            payload = concat({payload, child.write()});
        }
        return makeBox(type, payload);
    }
};

inline std::uint32_t u32At(const Bytes& bytes, std::size_t at)
{
    return (std::uint32_t(bytes[at]) << 24) | (std::uint32_t(bytes[at + 1]) << 16) |
           (std::uint32_t(bytes[at + 2]) << 8) | bytes[at + 3];
}

inline std::vector<Node> parseBoxes(const Bytes& bytes, std::size_t begin, std::size_t end)
{
    std::vector<Node> nodes;
    while (begin + 8 <= end)
    {
        const std::uint32_t size = u32At(bytes, begin);
        Node node;
        node.type = std::string(bytes.begin() + std::ptrdiff_t(begin + 4), bytes.begin() + std::ptrdiff_t(begin + 8));
        node.container = node.type == "moov" || node.type == "trak" || node.type == "mdia" || node.type == "minf" ||
                         node.type == "stbl";
        if (node.container)
        {
            node.children = parseBoxes(bytes, begin + 8, begin + size);
        }
        else
        {
            node.bytes.assign(bytes.begin() + std::ptrdiff_t(begin), bytes.begin() + std::ptrdiff_t(begin + size));
        }
        nodes.push_back(node);
        begin += size;
    }
    return nodes;
}

/// The shipped sequence with its movie box rebuilt by the edit; mdat comes before moov, so chunk
/// offsets stay valid.
inline Bytes editSequence(const std::function<void(Node& moov)>& edit)
{
    const Bytes original = readFile(dataPath("sequence.heics"));
    auto boxes = parseBoxes(original, 0, original.size());
    Bytes file;
    for (auto& box : boxes)
    {
        if (box.type == "moov")
        {
            edit(box);
        }
        file = concat({file, box.write()});
    }
    return file;
}

}  // namespace readertest
