#pragma once

// Whether a scan is running. Meanwhile the scan owns the scan table and its group's header file,
// so the view holds back saves, deletions and searches. The scan sets it; the others only read it.
struct ScanActivity {
    bool running = false;
};
