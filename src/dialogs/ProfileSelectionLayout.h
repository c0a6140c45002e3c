#pragma once

#include "platform/Twips.h"

// The layout of the profile selection window for an outer window size, all in
// twips. The list keeps its top-left corner; the three buttons keep their
// sizes and form one row, 200 twips apart and 150 below the list, centred in
// the window's width. No size or position goes below zero.
struct ProfileSelectionLayout
{
    static constexpr double buttonWidth = 1575;
    static constexpr double buttonHeight = 495;
    static constexpr double buttonGap = 200;

    TwipsBox list{0, 0, 4935, 2535};
    double nameColumnWidth = 0;
    double departmentColumnWidth = 0;
    TwipsBox loadProfile{120, 2640, buttonWidth, buttonHeight};
    TwipsBox edit{1800, 2640, buttonWidth, buttonHeight};
    TwipsBox cancel{3480, 2640, buttonWidth, buttonHeight};

    // `outerWidth` and `outerHeight` include the frame and the title bar.
    static ProfileSelectionLayout compute(double outerWidth, double outerHeight);
};
