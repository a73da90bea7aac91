namespace veltrinawnd { int placeholder = 0; }
