#pragma once

// The layout of the profile selection window for an outer window size, all in
// twips. The list keeps its top-left corner; the three buttons keep their
// sizes and form one row, 200 twips apart and 150 below the list, centred in
// the window's width. No size or position goes below zero.
struct ProfileSelectionLayout
{
    struct Box
    {
        float left = 0;
        float top = 0;
        float width = 0;
        float height = 0;
    };

    static constexpr float buttonWidth = 1575;
    static constexpr float buttonHeight = 495;
    static constexpr float buttonGap = 200;

    Box list{0, 0, 4935, 2535};
    float nameColumnWidth = 0;
    float departmentColumnWidth = 0;
    Box loadProfile{120, 2640, buttonWidth, buttonHeight};
    Box edit{1800, 2640, buttonWidth, buttonHeight};
    Box cancel{3480, 2640, buttonWidth, buttonHeight};

    // `outerWidth` and `outerHeight` include the frame and the title bar.
    static ProfileSelectionLayout compute(float outerWidth, float outerHeight);
};
