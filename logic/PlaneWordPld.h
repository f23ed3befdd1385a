// Rows 276, 277 and 278: UV-erasable logic arrays whose fuse map holds one bit
// plane after the other (fuse = bit x words + word), programmed and read a
// data word at a time with bounded pulse trains and an over-pulse.
#pragma once

void InstallPlaneWordPldRows();
