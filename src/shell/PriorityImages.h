#pragma once

#include <QIcon>

// The five 15 x 14 priority images of the job list, drawn here: a coloured
// tab with the priority's digit, red for 1 (most urgent) to blue for 5.
namespace PriorityImages {

// The image of priority 1..5; a null icon for any other priority.
QIcon icon(int priority);

} // namespace PriorityImages
