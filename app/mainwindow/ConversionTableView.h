#pragma once

#include <QTableView>

namespace pravix
{

class ConversionListDelegate;
class ConversionListModel;
class NSTableCellDeleteViewDelegate;
class NSTableHeaderWhiteView;

// The conversion list as the main window shows it: the model, the cell painters and the white
// header, one 32-pixel row per entry, whole rows selected. Clicking the header's select section
// ticks every entry (or clears them all when the box was not empty); clicking its delete section
// emits allDeleteClicked. From the keyboard: Space ticks or clears the current row, Delete sends
// DeleteEvent and Return PreViewEvent for it.
class ConversionTableView : public QTableView
{
    Q_OBJECT

public:
    explicit ConversionTableView(ConversionListModel* model, QWidget* parent = nullptr);

    ConversionListModel* listModel() const { return model_; }
    ConversionListDelegate* listDelegate() const { return delegate_; }
    NSTableHeaderWhiteView* headerView() const { return header_; }
    void setCellDelegate(NSTableCellDeleteViewDelegate* delegate);

    // The header box: 1 when every entry is ticked (also for an empty list), else 0; set only
    // when it differs.
    void CheckAllSelect();
    // Redraws every row after the entries changed; brings the header box into line when the list
    // is not empty.
    void reloadData();
    // Texts and screen-reader names in the current language, then reloadData().
    void RefreshUI();
    // 1: right to left, the columns running delete ... select from the left.
    void applyDirection(int direction);

signals:
    void allDeleteClicked();

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    void headerClicked(int section);

    ConversionListModel* model_;
    ConversionListDelegate* delegate_;
    NSTableHeaderWhiteView* header_;
};

}  // namespace pravix
