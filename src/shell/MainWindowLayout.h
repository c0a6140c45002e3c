#pragma once

// The main window's resize rule, in twips: the job list is the outer width
// (frame included) less 140, the progress bar the list's width less 500;
// neither goes below zero. Nothing else moves.
struct MainWindowLayout
{
    double listWidth = 0;
    double progressWidth = 0;

    static MainWindowLayout compute(double outerWidth)
    {
        MainWindowLayout layout;
        layout.listWidth = outerWidth - 140 > 0 ? outerWidth - 140 : 0;
        layout.progressWidth = layout.listWidth - 500 > 0 ? layout.listWidth - 500 : 0;
        return layout;
    }
};
