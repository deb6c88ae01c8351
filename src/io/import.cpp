// URL import, filled in shortly.
