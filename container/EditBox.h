#pragma once

#include <memory>

#include "Box.h"
#include "EditListBox.h"

// 'edts': holds the edit list of a track; the last 'elst' read wins.
class EditBox : public Box
{
public:
    EditBox();
    ~EditBox() override = default;

    /// Empty when the box holds no edit list.
    std::shared_ptr<const EditListBox> getEditListBox() const { return mEditListBox; }
    void setEditListBox(std::shared_ptr<EditListBox> editListBox) { mEditListBox = std::move(editListBox); }

    void writeBox(BitStream& bitstr) override;
    void parseBox(BitStream& bitstr) override;

private:
    std::shared_ptr<EditListBox> mEditListBox;
};
