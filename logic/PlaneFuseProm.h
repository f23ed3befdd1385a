// Row 279: a one-time 256 x 8 fuse PROM whose fuse map keeps the eight bit
// planes one after the other (fuse = bit x 256 + address), programmed a bit
// at a time with bounded pulse trains and an over-program pulse.
#pragma once

void InstallPlaneFusePromRow();
