// Opening a file that the program reads whole or line by line. Only regular
// files are read: a FIFO, a socket, a device or a directory where a layout
// file or a picture should be is refused at once, and the open never blocks
// (a FIFO without a writer would hold start-up for ever).
#ifndef VEXIL_BASE_REGULARFILE_H
#define VEXIL_BASE_REGULARFILE_H

// A read-only, close-on-exec descriptor of the regular file at `path`, in
// blocking mode; -1 (errno set) when it cannot be opened or is no regular
// file. The caller closes it.
int vxOpenRegularFile(const char *path);

#endif
