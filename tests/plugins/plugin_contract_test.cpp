// Argument checks, call order, exports and the finishing calls of all four plug-ins.
