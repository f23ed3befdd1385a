// Row 310: a one-time ten-output macrocell array walked cell by cell in the
// order of its JEDEC fuse map, a cell pulsed only when it must be blown and
// still reads intact; ten tries a cell.
#pragma once

void InstallFileOrderFusePldRow();
