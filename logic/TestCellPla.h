// Rows 285, 287, 288: one-time logic arrays read and programmed fuse by
// fuse, each fuse verified right after its pulse; before the user's map,
// programming blows the part's test cells outside the map, and a test cell
// that does not read blown stops programming.
#pragma once

void InstallTestCellPlaRows();
