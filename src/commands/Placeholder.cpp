// Filled by the tag commands.
