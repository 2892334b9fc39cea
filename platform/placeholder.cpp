// Placeholder so the folder library is never empty; removed when the folder gets code.
