namespace DuiLib { int placeholder = 0; }
