// placeholder so the layer library is never empty
