#include "dialogs/ProfileSelectionLayout.h"

#include <algorithm>

ProfileSelectionLayout ProfileSelectionLayout::compute(double outerWidth, double outerHeight)
{
    ProfileSelectionLayout layout;
    auto atLeastZero = [](double value) {
        return std::max(value, 0.0);
    };

    layout.list.width = atLeastZero(outerWidth - 150);
    layout.nameColumnWidth = layout.list.width / 2;
    layout.departmentColumnWidth = layout.list.width / 2;
    layout.list.height = atLeastZero(outerHeight - layout.cancel.height - 750);

    const double row =
        layout.loadProfile.width + buttonGap + layout.edit.width + buttonGap + layout.cancel.width;
    layout.loadProfile.left = atLeastZero((outerWidth - row) / 2);
    layout.loadProfile.top = layout.list.top + layout.list.height + 150;
    layout.edit.left = layout.loadProfile.left + layout.loadProfile.width + buttonGap;
    layout.edit.top = layout.loadProfile.top;
    layout.cancel.top = layout.loadProfile.top;
    layout.cancel.left = layout.edit.left + layout.edit.width + buttonGap;
    return layout;
}
