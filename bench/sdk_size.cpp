// Nothing of its own: tolba_sdk_size is the SDK's static libraries linked whole
// into one shared object, so that their size can be measured.
